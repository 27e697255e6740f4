#include "fake_agent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace {

int listenOnLoopback(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw std::runtime_error("socket");
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd, 5) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        throw std::runtime_error("bind/listen");
    }
    port = ntohs(address.sin_port);
    return fd;
}

// One receive of at most 32 bytes, as the agent reads its messages.
std::string receiveMessage(int fd)
{
    char buffer[32];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace

FakeAgent::FakeAgent()
{
    listenFd_ = listenOnLoopback(port_);
    thread_ = std::thread([this] { serve(); });
}

FakeAgent::~FakeAgent()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        if (connectionFd_ >= 0)
            ::shutdown(connectionFd_, SHUT_RDWR);
    }
    ::shutdown(listenFd_, SHUT_RDWR);  // wakes the blocked accept
    thread_.join();
    ::close(listenFd_);
}

int FakeAgent::unusedPort()
{
    int port = 0;
    ::close(listenOnLoopback(port));
    return port;
}

std::string FakeAgent::header(const std::string& text)
{
    std::string h = text;
    h.resize(32, '\0');
    return h;
}

std::string FakeAgent::header(size_t length)
{
    return header(std::to_string(length));
}

void FakeAgent::queueReply(ScriptedReply reply)
{
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back(std::move(reply));
}

void FakeAgent::queueListing(const std::string& body)
{
    queueReply({{header(body.size()) + body}});
}

std::vector<AgentRequest> FakeAgent::requests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

int FakeAgent::connections()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

bool FakeAgent::waitForRequests(size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void FakeAgent::serve()
{
    for (;;) {
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0)
            return;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) {
                ::close(fd);
                return;
            }
            connectionFd_ = fd;
            ++connections_;
        }
        serveConnection(fd);
        std::lock_guard<std::mutex> lock(mutex_);
        connectionFd_ = -1;
        ::close(fd);
    }
}

void FakeAgent::serveConnection(int fd)
{
    for (;;) {
        AgentRequest request;
        request.command = receiveMessage(fd);
        if (request.command.empty())
            return;
        if (request.command.rfind("VRL1 ", 0) == 0) {
            // A framed request runs to its line feed, however many receives that takes.
            while (request.command.find('\n') == std::string::npos) {
                const std::string more = receiveMessage(fd);
                if (more.empty())
                    return;
                request.command += more;
            }
        } else if (request.command == "e")
            request.handle = receiveMessage(fd);
        else if (request.command.size() > 1 && request.command[0] == 'e')
            request.handle = request.command.substr(1), request.command = "e";

        ScriptedReply reply;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
            changed_.notify_all();
            if (request.command == "q")
                return;
            if (!replies_.empty()) {
                reply = std::move(replies_.front());
                replies_.pop_front();
            } else {
                reply.pieces = {header(0)};
            }
        }
        for (size_t i = 0; i < reply.pieces.size(); ++i) {
            if (i > 0)
                std::this_thread::sleep_for(pause);
            const std::string& piece = reply.pieces[i];
            if (::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(piece.size()))
                return;
        }
        if (reply.closeAfter)
            return;
    }
}
