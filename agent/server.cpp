#include "server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent_state.h"
#include "connection_input.h"
#include "peer_check.h"
#include "port_file.h"
#include "protocol.h"
#include "records.h"
#include "request_table.h"
#include "snapshot.h"
#include "socket_fd.h"
#include "sweep.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t MAX_CONNECTIONS = 64;
// How long a receive holding only the first bytes of the frame magic waits for the rest.
constexpr auto PREFIX_WAIT = std::chrono::milliseconds(200);
// A client that takes nothing for this long while a reply is sent is dropped, so one
// stalled reader cannot hold every other client.
constexpr int SEND_TIMEOUT_SECONDS = 30;

struct Connection {
    explicit Connection(SocketFd s) : fd(std::move(s)) {}
    SocketFd fd;
    ConnectionInput input;
    std::optional<Exchange> queued;  // decided, not yet served
    Clock::time_point undecided_since;
    bool dropped = false;
};

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

void report_setup_failure(const Agent& agent, const char* step)
{
    const int cause = errno;
    fprintf(stderr, "vorlanagt: cannot listen on 127.0.0.1:%d (%s: %s); the command server stops, the program runs on\n",
            static_cast<uint16_t>(agent.settings.port), step, strerror(cause));
    errno = cause;
}

}  // namespace

SocketFd open_listener(const Agent& agent)
{
    trace("WSAStartup\n");  // the socket layer needs no start-up call here
    SocketFd listener(socket(AF_INET, SOCK_STREAM, 0));
    trace("socket\n");
    if (!listener) {
        report_setup_failure(agent, "socket");
        return listener;
    }
    int on = 1;
    setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(agent.settings.port));
    // Loopback only: whoever reaches the port can read the heap and end the program.
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    progress("port=%d\n", agent.settings.port);
    if (bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        report_setup_failure(agent, "bind");
        const int cause = errno;
        listener.reset();
        errno = cause;
        return listener;
    }
    progress("bind\n");
    if (listen(listener.get(), 5) != 0) {
        report_setup_failure(agent, "listen");
        const int cause = errno;
        listener.reset();
        errno = cause;
        return listener;
    }
    progress("listen\n");
    // A port the system picked is known only now; either way tools find it by pid.
    const int bound = publish_port(listener.get());
    if (static_cast<uint16_t>(agent.settings.port) == 0) progress("port=%d\n", bound);
    return listener;
}

namespace {

// The server thread attached to the VM for the length of one request.
class Attached {
public:
    explicit Attached(JavaVM* vm) : vm_(vm)
    {
        jint jerr = vm_->AttachCurrentThread(reinterpret_cast<void**>(&jni_), nullptr);
        trace("jerr=%d\n", jerr);
        if (jerr != JNI_OK) jni_ = nullptr;
    }
    ~Attached()
    {
        if (jni_) vm_->DetachCurrentThread();
    }
    Attached(const Attached&) = delete;
    Attached& operator=(const Attached&) = delete;
    JNIEnv* jni() const { return jni_; }

private:
    JavaVM* vm_;
    JNIEnv* jni_ = nullptr;
};

class Server {
public:
    Server(Agent& agent, SocketFd listener) : agent_(agent), listener_(std::move(listener)) {}
    void run();

private:
    void accept_client();
    void receive(Connection& c);
    void serve(Connection& c, const Exchange& e);
    void serve_classic(Connection& c, const Exchange& e);
    bool send_body(Connection& c, const std::string& body);
    bool send_listing(Connection& c);
    int poll_timeout_ms() const;

    Agent& agent_;
    SocketFd listener_;
    std::vector<std::unique_ptr<Connection>> conns_;
    bool accepted_before_ = false;
};

void Server::accept_client()
{
    int fd = accept(listener_.get(), nullptr, nullptr);
    if (fd < 0) {
        // Transient: a signal, or a peer that gave up before we took it.
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO || errno == EAGAIN) return;
        fprintf(stderr, "vorlanagt: accept on port %d failed: %s; the command server stops\n",
                static_cast<uint16_t>(agent_.settings.port), strerror(errno));
        listener_.reset();
        return;
    }
    SocketFd client(fd);
    std::string why;
    if (!peer_allowed(client.get(), why)) {
        progress("connection refused: %s\n", why.c_str());
        return;
    }
    if (conns_.size() >= MAX_CONNECTIONS) {
        progress("connection refused: %zu clients are connected already\n", conns_.size());
        return;
    }
    // The header and the body leave in two sends: with Nagle on, the body's last segment
    // waits for the client's delayed ACK, about 40 ms per reply.
    int on = 1;
    setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    timeval timeout{SEND_TIMEOUT_SECONDS, 0};
    setsockopt(client.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (accepted_before_) {
        trace("accept\n");
    } else {
        progress("accept\n");
        accepted_before_ = true;
    }
    conns_.push_back(std::make_unique<Connection>(std::move(client)));
}

void Server::receive(Connection& c)
{
    const size_t size = c.input.receive_size();
    const bool classic = size == MSG_SIZE;
    std::vector<char> buf(size + 1, '\0');
    ssize_t n;
    do {
        n = recv(c.fd.get(), buf.data(), size, 0);
    } while (n < 0 && errno == EINTR);
    if (classic) trace("%ld, %s\n", static_cast<long>(n), buf.data());
    const bool was_undecided = c.input.undecided();
    c.input.take(buf.data(), static_cast<long>(n));
    if (c.input.undecided() && !was_undecided) c.undecided_since = Clock::now();
}

bool Server::send_body(Connection& c, const std::string& body)
{
    auto header = format_header(body.size());
    if (send_all(c.fd, header.data(), header.size()) < 0) return false;
    long sent = send_all(c.fd, body.data(), body.size());
    if (sent < 0) return false;
    progress("%ld bytes sent.\n", sent);
    return true;
}

// Sends a classic listing; false when the connection has to be dropped.
bool Server::send_listing(Connection& c)
{
    const Listing& listing = agent_.snapshot.reply;
    trace("dataDumpRequest end\n");
    trace("%s", listing_text(listing).c_str());
    trace("size=%d\n", static_cast<int>(listing.length));
    auto header = format_header(listing.length);
    trace("send size: sizeof(buf)=%d\n", static_cast<int>(MSG_SIZE));
    send_all(c.fd, header.data(), header.size());
    trace("send contents\n");
    long sent = 0;
    bool ok = write_listing(listing, [&](const char* data, size_t n) {
        long part = send_all(c.fd, data, n);
        if (part < 0) return false;
        sent += part;
        return true;
    });
    if (!ok) return false;
    progress("%ld bytes sent.\n", sent);
    return true;
}

void Server::serve_classic(Connection& c, const Exchange& e)
{
    Request req = decide_request(e.command, e.has_handle ? &e.handle_msg : nullptr);
    if (e.has_handle) trace("adr=%x\n", static_cast<unsigned>(parse_handle(e.handle_msg.text)));
    {
        Attached attached(agent_.vm);
        JNIEnv* jni = attached.jni();
        if (req.action == Action::Prepare) {
            releaseSnapshot(agent_, jni);
            prepareSnapshot(agent_, jni);
        }
        if (req.action != Action::Quit) buildListing(agent_, jni, static_cast<uint32_t>(req.handle));
        if (req.action == Action::Quit) releaseSnapshot(agent_, jni);
    }
    if (req.action == Action::Quit) {
        conns_.clear();
        listener_.reset();
        trace("server end\n");
        end_process(agent_);
    }
    bool ok = send_listing(c);
    release_reply(agent_);
    // After the reply, which is written from the descriptors it names: the client has
    // its root listing while the old tags are let go.
    if (req.action == Action::Prepare && sweep_due(agent_)) {
        Attached attached(agent_.vm);
        SweepCounts n;
        // The program is not stopped for it: no tag is taken off one by one.
        if (sweep_descriptors(agent_, attached.jni(), n))
            progress("vorlanagt: forgot %zu handles listed before this \"p\"; %zu kept, %zu of them dead; "
                     "the sweep took %.0f ms\n",
                     n.forgotten, n.kept, n.dead, n.ms);
    }
    if (!ok || e.last) c.dropped = true;
}

void Server::serve(Connection& c, const Exchange& e)
{
    switch (e.kind) {
    case Exchange::Classic:
        serve_classic(c, e);
        return;
    case Exchange::Framed: {
        std::string body;
        {
            Attached attached(agent_.vm);
            body = serve_framed(agent_, attached.jni(), e.line);
            if (attached.jni()) attached.jni()->ExceptionClear();
        }
        if (!send_body(c, body) || e.last) c.dropped = true;
        return;
    }
    case Exchange::FrameError:
        if (!send_body(c, error_body("-", e.error_code, e.error_message)) || e.last) c.dropped = true;
        return;
    case Exchange::Drop:
        c.dropped = true;
        return;
    }
}

int Server::poll_timeout_ms() const
{
    int timeout = -1;
    for (const auto& c : conns_) {
        if (c->queued) return 0;
        if (c->input.undecided()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(c->undecided_since + PREFIX_WAIT -
                                                                              Clock::now());
            int ms = left.count() < 0 ? 0 : static_cast<int>(left.count()) + 1;
            if (timeout < 0 || ms < timeout) timeout = ms;
        }
    }
    return timeout;
}

void Server::run()
{
    while (listener_) {
        std::vector<pollfd> fds;
        fds.push_back({listener_.get(), POLLIN, 0});
        for (const auto& c : conns_) fds.push_back({c->fd.get(), static_cast<short>(c->queued ? 0 : POLLIN), 0});
        int ready = poll(fds.data(), fds.size(), poll_timeout_ms());
        if (ready < 0 && errno != EINTR) {
            fprintf(stderr, "vorlanagt: poll failed: %s; the command server stops\n", strerror(errno));
            return;
        }
        const size_t polled = conns_.size();
        // Each connection gets at most one exchange per round, so a client that sends
        // many requests at once cannot starve the others.
        for (size_t i = 0; i < polled; i++) {
            Connection& c = *conns_[i];
            if (ready > 0 && (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) && !c.queued && !c.input.finished())
                receive(c);
            if (c.input.undecided() && Clock::now() - c.undecided_since >= PREFIX_WAIT) c.input.decide_now();
            if (!c.queued) c.queued = c.input.next();
            if (c.queued) {
                Exchange e = std::move(*c.queued);
                c.queued.reset();
                serve(c, e);
                if (!c.dropped) c.queued = c.input.next();
            }
            if (c.input.finished() && !c.queued) c.dropped = true;
        }
        for (size_t i = 0; i < conns_.size();) {
            if (conns_[i]->dropped) conns_.erase(conns_.begin() + static_cast<long>(i));
            else i++;
        }
        if (ready > 0 && (fds[0].revents & POLLIN)) accept_client();
    }
}

}  // namespace

void server(Agent& agent)
{
    trace("server\n");
    SocketFd listener = open_listener(agent);
    if (!listener) return;
    serve_on(agent, std::move(listener));
}

void serve_on(Agent& agent, SocketFd listener)
{
    agent.serving = true;
    Server(agent, std::move(listener)).run();
    agent.serving = false;
}

void end_process(Agent& agent)
{
    fflush(stdout);
    fflush(stderr);
    JNIEnv* jni = nullptr;
    if (agent.vm && agent.vm->AttachCurrentThread(reinterpret_cast<void**>(&jni), nullptr) == JNI_OK) {
        // System.exit runs the program's shutdown hooks and removes the VM's temporary
        // files; a plain exit() from this thread would skip both.
        jclass system = jni->FindClass("java/lang/System");
        jmethodID exit_method = system ? jni->GetStaticMethodID(system, "exit", "(I)V") : nullptr;
        if (exit_method) jni->CallStaticVoidMethod(system, exit_method, 0);
        jni->ExceptionClear();  // System.exit refused (a security manager, say)
    }
    exit(0);
}
