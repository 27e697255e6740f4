#include "agent_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

std::vector<ListingLine> Reply::lines() const
{
    std::vector<ListingLine> out;
    size_t start = 0;
    while (start < body.size()) {
        size_t end = body.find('\n', start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "body does not end in a line feed: " << body.substr(start);
            break;
        }
        std::string line = body.substr(start, end - start);
        size_t blank = line.find(' ');
        bool well_formed = blank != std::string::npos && blank > 0 && line.size() >= blank + 3 &&
                           line.back() == ' ' && line.find(' ', blank + 1) == line.size() - 1 &&
                           line.find_first_not_of("0123456789abcdef") == blank;
        EXPECT_TRUE(well_formed) << "bad listing line '" << line << "'";
        if (well_formed) out.push_back({line.substr(0, blank), line.substr(blank + 1, line.size() - blank - 2)});
        start = end + 1;
    }
    return out;
}

AgentConnection::AgentConnection(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return;
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fd_ = fd;
}

AgentConnection::~AgentConnection() { close(); }

void AgentConnection::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void AgentConnection::send_raw(const std::string& bytes)
{
    ASSERT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

bool AgentConnection::read_exact(std::string& out, size_t n, int timeout_ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    out.clear();
    out.reserve(n);
    char buf[65536];
    while (out.size() < n) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        end - std::chrono::steady_clock::now()).count());
        pollfd p{fd_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, left) <= 0) return false;
        ssize_t r = recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
        if (r <= 0) return false;
        out.append(buf, static_cast<size_t>(r));
    }
    return true;
}

Reply AgentConnection::read_reply(int timeout_ms)
{
    Reply r;
    if (!read_exact(r.header, 32, timeout_ms)) return r;
    r.length = strtol(r.header.c_str(), nullptr, 10);
    r.complete = read_exact(r.body, static_cast<size_t>(r.length), timeout_ms);
    return r;
}

Reply AgentConnection::request(const std::string& command)
{
    send_raw(command);
    return read_reply();
}

Reply AgentConnection::expand(const std::string& handle_text)
{
    send_raw("e");
    // Give the agent time to take "e" as a message of its own.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    send_raw(handle_text);
    return read_reply();
}

bool AgentConnection::closed_by_peer(int timeout_ms)
{
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return false;
    char c;
    return recv(fd_, &c, 1, 0) == 0;
}
