// Taking new clients from the listening socket. As the JVM's own attach mechanism does,
// only a local process of the VM's user or root is served (the peer's socket owner is
// read from /proc/net/tcp), and at most MAX_CONNECTIONS at once.
#pragma once

#include <cstddef>

#include "socket_fd.h"

class ClientGate {
public:
    static constexpr size_t MAX_CONNECTIONS = 64;

    explicit ClientGate(int port) : port_(port) {}

    // The next client, with the socket options its replies need; an invalid socket when
    // there is none to serve (refused, or a transient failure). A listener that fails
    // for good is closed, with a line on standard error.
    SocketFd accept_from(SocketFd& listener, size_t connected);

private:
    int port_;
    bool accepted_before_ = false;
};
