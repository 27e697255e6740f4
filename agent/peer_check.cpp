#include "peer_check.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// "0100007F:1F90": the address as the kernel stores it, the port in host order.
std::string endpoint_text(const sockaddr_in& a)
{
    char buf[16];
    snprintf(buf, sizeof buf, "%08X:%04X", static_cast<unsigned>(a.sin_addr.s_addr), ntohs(a.sin_port));
    return buf;
}

constexpr const char* TCP_TIME_WAIT = "06";

}  // namespace

std::optional<uid_t> socket_owner(const std::string& proc_net_tcp, const sockaddr_in& local, const sockaddr_in& remote)
{
    const std::string want_local = endpoint_text(local), want_remote = endpoint_text(remote);
    std::istringstream lines(proc_net_tcp);
    std::string line;
    std::getline(lines, line);  // column titles
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string slot, loc, rem, state, queues, timer, retransmits;
        long long uid = -1;
        if (!(fields >> slot >> loc >> rem >> state >> queues >> timer >> retransmits >> uid)) continue;
        if (loc == want_local && rem == want_remote && state != TCP_TIME_WAIT && uid >= 0)
            return static_cast<uid_t>(uid);
    }
    return std::nullopt;
}

bool peer_allowed(int fd, std::string& why)
{
    sockaddr_in ours{}, peer{};
    socklen_t len = sizeof ours;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&ours), &len) != 0) {
        why = "its address is unknown";
        return false;
    }
    len = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) != 0 || peer.sin_family != AF_INET) {
        why = "its address is unknown";
        return false;
    }
    std::ifstream in("/proc/net/tcp");
    std::stringstream text;
    text << in.rdbuf();
    // The peer's own socket is the one whose local end is our remote end.
    std::optional<uid_t> owner = socket_owner(text.str(), peer, ours);
    if (!owner) {
        why = "its owner cannot be found in /proc/net/tcp";
        return false;
    }
    if (*owner == 0 || *owner == geteuid()) return true;
    why = "uid " + std::to_string(*owner) + " is not the VM's user";
    return false;
}
