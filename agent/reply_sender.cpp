#include "reply_sender.h"

#include <sys/socket.h>

#include <cerrno>

#include "agent_log.h"
#include "protocol.h"

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

bool send_body(const SocketFd& client, const std::string& body)
{
    auto header = format_header(body.size());
    if (send_all(client, header.data(), header.size()) < 0) return false;
    long sent = send_all(client, body.data(), body.size());
    if (sent < 0) return false;
    progress("%ld bytes sent.\n", sent);
    return true;
}
