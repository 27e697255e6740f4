#include "agent_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace {

// MSG_NOSIGNAL: an agent that has gone away must not kill the viewer with SIGPIPE.
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

ssize_t receive(int fd, char* buffer, size_t size)
{
    ssize_t n;
    do {
        n = ::recv(fd, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    return n;
}

}  // namespace

uint16_t tcpPort(int port)
{
    return static_cast<uint16_t>(static_cast<unsigned>(port) & 0xFFFFu);
}

int AgentClient::sockconnect()
{
    socket_ = SocketFd(::socket(AF_INET, SOCK_STREAM, 0));  // closes the earlier attempt's socket
    if (!socket_.valid())
        return 0;
    // The command byte and the handle text of "e" leave as two segments, at once.
    const int one = 1;
    ::setsockopt(socket_.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(tcpPort(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int rc;
    do {
        rc = ::connect(socket_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc < 0 && errno == EINTR);
    return rc == 0 ? 1 : 0;
}

void AgentClient::connectIfNeeded()
{
    if (connected_)
        return;
    trace_("connect\r\n");
    connected_ = sockconnect() == 1;
    trace_("sockconnect=", connected_ ? 1 : 0, "\r\n");
}

ReplyLines AgentClient::getClasses(char command, std::string_view handle)
{
    trace_("getClasses\r\n");
    // Send failures show up as a missing header below.
    if (sendAll(socket_.get(), std::string_view(&command, 1)) && command == 'e')
        sendAll(socket_.get(), handle);

    const long announced = readHeader();
    trace_("", announced, " bytes will be received.\r\n");
    if (announced <= 0) {
        strcnt_ = 0;
        return {};
    }
    ReplyLines lines(readBody(announced));
    strcnt_ = static_cast<int>(lines.size());
    return lines;
}

// The header may arrive in pieces; a short or failed read keeps what came, and text
// that is not a decimal number converts to 0.
long AgentClient::readHeader()
{
    char header[kHeaderSize + 1] = {};
    size_t got = 0;
    while (got < kHeaderSize) {
        const ssize_t n = receive(socket_.get(), header + got, kHeaderSize - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    return decimalValue(std::string_view(header, std::char_traits<char>::length(header)));
}

std::string AgentClient::readBody(long announced)
{
    std::string body;
    long total = 0;
    trace_("init: total=", total, "\r\n");
    char chunk[kChunkSize + 1];
    for (;;) {
        // Never read past the announced end: those bytes would belong to no reply.
        const size_t want = std::min<size_t>(kChunkSize, static_cast<size_t>(announced - total));
        const ssize_t n = receive(socket_.get(), chunk, want);
        if (n < 0) {
            trace_("SOCKET_ERROR\n");
            break;
        }
        total += n;
        trace_("", total, " bytes received.\r\n");
        body.append(chunk, static_cast<size_t>(n));
        if (n == 0 || total >= announced)
            break;
        trace_("next \n");
    }
    trace_("", total, " bytes received.\r\n");
    return body;
}

void AgentClient::disconnectJvmti()
{
    trace_("send 'q' start.\r\n");
    sendAll(socket_.get(), "q");  // no reply comes: the agent ends its process
    trace_("send 'q' end.\r\n");
    trace_("client end.\r\n");
}
