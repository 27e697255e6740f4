#include "agent_loader.h"

#include <spawn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "socket_fd.h"

extern char** environ;

namespace {

constexpr unsigned kListenState = 0x0A;
constexpr unsigned kLoopback = 0x0100007F;  // 127.0.0.1 as /proc/net/tcp prints it
constexpr auto kListenWait = std::chrono::seconds(10);

// The last non-empty line of text, without vorlan-attach's own name in front.
std::string lastLine(const std::string& text)
{
    std::istringstream lines(text);
    std::string line, last;
    while (std::getline(lines, line))
        if (!line.empty())
            last = line;
    const std::string prefix = "vorlan-attach: ";
    return last.rfind(prefix, 0) == 0 ? last.substr(prefix.size()) : last;
}

}  // namespace

bool portListening(int port)
{
    const unsigned wanted = static_cast<unsigned>(port) & 0xFFFFu;
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // the column titles
    while (std::getline(table, line)) {
        unsigned address = 0, localPort = 0, state = 0;
        // "  0: 0100007F:3039 00000000:0000 0A ..."
        if (std::sscanf(line.c_str(), " %*u: %x:%x %*x:%*x %x", &address, &localPort, &state) == 3 &&
            state == kListenState && localPort == wanted && (address == kLoopback || address == 0))
            return true;
    }
    return false;
}

std::string attachCommandPath()
{
    std::array<char, 4096> self{};
    const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
    std::string path = n > 0 ? std::string(self.data(), static_cast<size_t>(n)) : std::string();
    const size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/vorlan-attach";
}

std::string loadAgent(const std::string& attach, long long pid, int port)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::string("cannot run vorlan-attach: ") + std::strerror(errno);
    SocketFd readEnd(pipeFds[0]), writeEnd(pipeFds[1]);

    // Both of its streams come back here, so that vorlan-cli's own output stays one
    // document and its errors one line.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    const std::string pidText = std::to_string(pid);
    const std::string options = "port=" + std::to_string(port);
    std::vector<char*> argv = {const_cast<char*>(attach.c_str()), const_cast<char*>(pidText.c_str()),
                               const_cast<char*>(options.c_str()), nullptr};
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, attach.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (spawned != 0)
        return "cannot run " + attach + ": " + std::strerror(spawned);

    std::string output;
    char buffer[512];
    for (ssize_t n; (n = ::read(readEnd.get(), buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        output.append(buffer, static_cast<size_t>(n));
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        const std::string why = lastLine(output);
        return "cannot load the agent into process " + pidText + (why.empty() ? "" : ": " + why);
    }

    const auto deadline = std::chrono::steady_clock::now() + kListenWait;
    while (!portListening(port)) {
        if (std::chrono::steady_clock::now() > deadline)
            return "the agent was loaded into process " + pidText + " but does not listen on 127.0.0.1:" +
                   std::to_string(static_cast<unsigned>(port) & 0xFFFFu) + " (the program's standard error may say why)";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}
