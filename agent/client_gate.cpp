#include "client_gate.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "agent_log.h"
#include "peer_check.h"

namespace {

// A client that takes nothing for this long while a reply is sent is dropped, so one
// stalled reader cannot hold every other client.
constexpr int SEND_TIMEOUT_SECONDS = 30;

}  // namespace

SocketFd ClientGate::accept_from(SocketFd& listener, size_t connected)
{
    int fd = accept(listener.get(), nullptr, nullptr);
    if (fd < 0) {
        // Transient: a signal, or a peer that gave up before we took it.
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO || errno == EAGAIN) return {};
        fprintf(stderr, "vorlanagt: accept on port %d failed: %s; the command server stops\n",
                static_cast<uint16_t>(port_), strerror(errno));
        listener.reset();
        return {};
    }
    SocketFd client(fd);
    std::string why;
    if (!peer_allowed(client.get(), why)) {
        progress("connection refused: %s\n", why.c_str());
        return {};
    }
    if (connected >= MAX_CONNECTIONS) {
        progress("connection refused: %zu clients are connected already\n", connected);
        return {};
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
    return client;
}
