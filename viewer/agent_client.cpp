#include "agent_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>

#include "socket_io.h"

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

    const Receive fromSocket = [this](char* buffer, size_t size) {
        return static_cast<long>(receiveFrom(socket_.get(), buffer, size));
    };
    const long announced = readHeader(fromSocket);
    trace_("", announced, " bytes will be received.\r\n");
    if (announced <= 0) {
        strcnt_ = 0;
        return {};
    }
    ReplyLines lines(readBody(fromSocket, announced, trace_));
    strcnt_ = static_cast<int>(lines.size());
    return lines;
}

void AgentClient::disconnectJvmti()
{
    trace_("send 'q' start.\r\n");
    sendAll(socket_.get(), "q");  // no reply comes: the agent ends its process
    trace_("send 'q' end.\r\n");
    trace_("client end.\r\n");
}
