#include "socket_io.h"

#include <sys/socket.h>

#include <cerrno>

bool sendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

long receiveFrom(int fd, char* buffer, size_t size)
{
    ssize_t n;
    do {
        n = ::recv(fd, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}
