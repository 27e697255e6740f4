#include "server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "agent_log.h"
#include "agent_vm.h"
#include "peer_check.h"
#include "protocol.h"
#include "snapshot.h"
#include "socket_fd.h"

namespace {

// One receive of at most 32 bytes into a zeroed message, traced as "%d, %s".
Message receive_message(const SocketFd& client)
{
    Message m;
    ssize_t n;
    do {
        n = recv(client.get(), m.text, MSG_SIZE, 0);
    } while (n < 0 && errno == EINTR);
    m.count = n;
    trace("%ld, %s\n", m.count, m.text);
    return m;
}

// Sends all of data; returns the bytes sent or -1. Never raises SIGPIPE in the VM.
long send_all(const SocketFd& client, const char* data, size_t length)
{
    size_t sent = 0;
    while (sent < length) {
        ssize_t n = send(client.get(), data + sent, length - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        sent += static_cast<size_t>(n);
    }
    return static_cast<long>(sent);
}

// Waits for the next viewer of the VM's own user; an invalid socket means the listener
// is unusable.
SocketFd accept_client(const SocketFd& listener)
{
    for (;;) {
        int fd = accept(listener.get(), nullptr, nullptr);
        if (fd >= 0) {
            SocketFd client(fd);
            std::string why;
            if (peer_allowed(client.get(), why)) {
                // The header and the body leave in two sends: with Nagle on, the body's
                // last segment waits for the client's delayed ACK, about 40 ms per reply.
                int on = 1;
                setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                return client;
            }
            progress("connection refused: %s\n", why.c_str());
            continue;
        }
        // Transient: a signal, or a peer that gave up before we took it.
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
        fprintf(stderr, "vorlanagt: accept on port %d failed: %s; the command server stops\n",
                static_cast<uint16_t>(settings.port), strerror(errno));
        return SocketFd();
    }
}

void report_setup_failure(const char* step)
{
    fprintf(stderr, "vorlanagt: cannot listen on 127.0.0.1:%d (%s: %s); the command server stops, the program runs on\n",
            static_cast<uint16_t>(settings.port), step, strerror(errno));
}

SocketFd open_listener()
{
    trace("WSAStartup\n");  // the socket layer needs no start-up call here
    SocketFd listener(socket(AF_INET, SOCK_STREAM, 0));
    trace("socket\n");
    if (!listener) {
        report_setup_failure("socket");
        return listener;
    }
    int on = 1;
    setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(settings.port));
    // Loopback only: whoever reaches the port can read the heap and end the program.
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    progress("port=%d\n", settings.port);
    if (bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        report_setup_failure("bind");
        listener.reset();
        return listener;
    }
    progress("bind\n");
    if (listen(listener.get(), 5) != 0) {
        report_setup_failure("listen");
        listener.reset();
        return listener;
    }
    progress("listen\n");
    return listener;
}

// Runs one request's snapshot work while attached to the VM.
void run_request(const Request& req)
{
    JNIEnv* jni = nullptr;
    jint jerr = java_vm->AttachCurrentThread(reinterpret_cast<void**>(&jni), nullptr);
    trace("jerr=%d\n", jerr);
    if (jerr != JNI_OK) jni = nullptr;
    if (req.action == Action::Prepare) {
        releaseSnapshot(jvmti, jni);
        prepareSnapshot(jvmti, jni);
    }
    if (req.action != Action::Quit) buildListing(jvmti, jni, static_cast<uint32_t>(req.handle));
    if (req.action == Action::Quit) releaseSnapshot(jvmti, jni);
    if (jerr == JNI_OK) java_vm->DetachCurrentThread();
}

// Sends header and body; false when the connection has to be dropped.
bool send_reply(const SocketFd& client)
{
    const Listing& listing = reply_listing();
    trace("dataDumpRequest end\n");
    trace("%s", listing_text(listing).c_str());
    trace("size=%d\n", static_cast<int>(listing.length));
    auto header = format_header(listing.length);
    trace("send size: sizeof(buf)=%d\n", static_cast<int>(MSG_SIZE));
    send_all(client, header.data(), header.size());
    trace("send contents\n");
    long sent = 0;
    bool ok = write_listing(listing, [&](const char* data, size_t n) {
        long part = send_all(client, data, n);
        if (part < 0) return false;
        sent += part;
        return true;
    });
    if (!ok) return false;
    progress("%ld bytes sent.\n", sent);
    return true;
}

}  // namespace

void server()
{
    trace("server\n");
    SocketFd listener = open_listener();
    if (!listener) return;
    SocketFd client = accept_client(listener);
    if (!client) return;
    progress("accept\n");

    for (;;) {
        Message command = receive_message(client);
        bool drop = command.count < 0;
        Message handle_msg;
        bool has_handle = false;
        if (!drop && awaits_handle(command)) {
            handle_msg = receive_message(client);
            drop = handle_msg.count < 0;
            has_handle = true;
        }
        if (!drop) {
            Request req = decide_request(command, has_handle ? &handle_msg : nullptr);
            if (has_handle) trace("adr=%x\n", static_cast<unsigned>(parse_handle(handle_msg.text)));
            run_request(req);
            if (req.action == Action::Quit) break;
            drop = !send_reply(client);
            release_reply();
            // A zero-byte receive means the viewer has closed its side: after its reply,
            // no further command can come on this connection.
            if (command.count == 0 || (has_handle && handle_msg.count == 0)) drop = true;
        }
        if (drop) {
            client = accept_client(listener);
            if (!client) return;
            trace("accept\n");
        }
    }

    client.reset();
    listener.reset();
    trace("server end\n");
    end_process();
}

void end_process()
{
    fflush(stdout);
    fflush(stderr);
    JNIEnv* jni = nullptr;
    if (java_vm && java_vm->AttachCurrentThread(reinterpret_cast<void**>(&jni), nullptr) == JNI_OK) {
        // System.exit runs the program's shutdown hooks and removes the VM's temporary
        // files; a plain exit() from this thread would skip both.
        jclass system = jni->FindClass("java/lang/System");
        jmethodID exit_method = system ? jni->GetStaticMethodID(system, "exit", "(I)V") : nullptr;
        if (exit_method) jni->CallStaticVoidMethod(system, exit_method, 0);
        jni->ExceptionClear();  // System.exit refused (a security manager, say)
    }
    exit(0);
}
