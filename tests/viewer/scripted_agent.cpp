#include "scripted_agent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "fake_agent.h"
#include "wire_text.h"

namespace {

std::vector<std::string> splitRequest(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(unescapeField(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

}  // namespace

ScriptedAgent::ScriptedAgent(Responder responder) : responder_(std::move(responder))
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listenFd_, 8) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("ScriptedAgent: cannot listen");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { serve(); });
}

ScriptedAgent::~ScriptedAgent()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        for (int fd : connections_)
            ::shutdown(fd, SHUT_RDWR);
    }
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptor_.join();
    for (std::thread& t : threads_)
        t.join();
    for (int fd : connections_)
        ::close(fd);
    ::close(listenFd_);
}

std::vector<std::string> ScriptedAgent::requests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t ScriptedAgent::count(const std::string& prefix)
{
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const std::string& r : requests_)
        n += r.rfind(prefix, 0) == 0;
    return n;
}

std::string ScriptedAgent::record(const std::vector<std::string>& fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += '\t';
        for (char c : fields[i]) {
            if (c == '\\')
                line += "\\\\";
            else if (c == '\t')
                line += "\\t";
            else if (c == '\n')
                line += "\\n";
            else
                line += c;
        }
    }
    return line + '\n';
}

void ScriptedAgent::serve()
{
    for (;;) {
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        connections_.push_back(fd);
        threads_.emplace_back([this, fd] { serveConnection(fd); });
    }
}

void ScriptedAgent::serveConnection(int fd)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        const size_t end = pending.find('\n');
        if (end == std::string::npos) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            pending.append(buffer, static_cast<size_t>(n));
            continue;
        }
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (line.rfind("VRL1 ", 0) != 0)
            break;
        line.erase(0, 5);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(line);
        }
        const std::string body = responder_(splitRequest(line));
        const std::string reply = FakeAgent::header(body.size()) + body;
        if (::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(reply.size()))
            break;
    }
    ::shutdown(fd, SHUT_RDWR);
}
