#include "port_file.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "socket_fd.h"

namespace {

// What remove_at_exit needs, in plain storage: it runs while static objects are being
// destroyed.
char published_path[256];
dev_t published_dev = 0;
ino_t published_ino = 0;
pid_t published_by = 0;  // a forked child that exits must not take its parent's file
std::atomic<int> published{0};

void remove_at_exit()
{
    if (published_path[0] && getpid() == published_by) remove_port_file(published_path);
}

}  // namespace

std::string port_file_path(const std::string& directory, long pid)
{
    return directory + "/.vorlan_pid" + std::to_string(pid);
}

std::string port_file_text(int port, unsigned long long start_ticks)
{
    return "port=" + std::to_string(port) + "\nstart=" + std::to_string(start_ticks) + "\n";
}

unsigned long long start_ticks_of_stat(const std::string& stat_text)
{
    // "PID (COMMAND) STATE ..." where COMMAND may hold blanks and parentheses: the fields
    // are counted from the last ')'. Start time is field 22, the 20th after it.
    const size_t close = stat_text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat_text.substr(close + 1));
    std::string field;
    for (int i = 0; i < 20 && fields >> field; i++) {
    }
    if (!fields) return 0;
    char* end = nullptr;
    const unsigned long long ticks = std::strtoull(field.c_str(), &end, 10);
    return end && *end == '\0' ? ticks : 0;
}

std::string write_port_file(const std::string& path, const std::string& text)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        // A file of this user is a dead VM's with a reused pid; another user's is not ours
        // to touch (and /tmp's sticky bit would refuse anyway).
        if (st.st_uid != geteuid()) return path + " belongs to another user";
        if (unlink(path.c_str()) != 0 && errno != ENOENT) return "cannot remove " + path + ": " + strerror(errno);
    }
    SocketFd file(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file) return "cannot create " + path + ": " + strerror(errno);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(file.get(), text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::string why = "cannot write " + path + ": " + strerror(errno);
            unlink(path.c_str());
            return why;
        }
        written += static_cast<size_t>(n);
    }
    return {};
}

void remove_port_file(const std::string& path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || st.st_uid != geteuid()) return;
    // Only the file this process wrote: after a fork or a reused pid another may be there.
    if (path == published_path && (st.st_dev != published_dev || st.st_ino != published_ino)) return;
    unlink(path.c_str());
}

int bound_port(int listener_fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(listener_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

int publish_port(int listener_fd)
{
    const int port = bound_port(listener_fd);
    if (port == 0) return 0;
    std::ifstream stat_file("/proc/self/stat");
    std::stringstream stat_text;
    stat_text << stat_file.rdbuf();
    const std::string path = port_file_path("/tmp", static_cast<long>(getpid()));
    const std::string why = write_port_file(path, port_file_text(port, start_ticks_of_stat(stat_text.str())));
    if (!why.empty()) {
        fprintf(stderr, "vorlanagt: %s; tools that are given only this pid will not find the agent on port %d\n",
                why.c_str(), port);
        return port;
    }
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && path.size() < sizeof published_path) {
        const bool first = published_path[0] == '\0';
        snprintf(published_path, sizeof published_path, "%s", path.c_str());
        published_dev = st.st_dev;
        published_ino = st.st_ino;
        published_by = getpid();
        // System.exit, a return from main and a signal that the VM turns into an orderly
        // exit all end in exit(), which runs this; only SIGKILL and a crash leave the
        // file, and readers take it for stale once the process is gone.
        if (first) atexit(remove_at_exit);
    }
    published = port;
    return port;
}

int published_port()
{
    return published;
}
