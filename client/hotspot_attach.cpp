#include "hotspot_attach.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "agent_port_file.h"
#include "local_jvms.h"
#include "process_info.h"
#include "socket_io.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kProtocolVersion = "1";
constexpr size_t kMaxArguments = 3;
constexpr size_t kMaxArgumentLength = 1024;  // what the VM reads of one argument
constexpr auto kPollStep = std::chrono::milliseconds(20);
constexpr auto kStartTimeout = std::chrono::seconds(2);
// The agent's start is quick; only a VM that cannot reach a safepoint takes long.
constexpr auto kLoadTimeout = std::chrono::seconds(30);

AttachResult failed(AttachFailure failure, std::string message)
{
    AttachResult result;
    result.failure = failure;
    result.message = std::move(message);
    return result;
}

bool isSocket(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// How a process is named in messages: "4242 (java)".
std::string named(const ProcessInfo& process)
{
    std::string name = process.commandLine.empty() ? std::string() : process.commandLine[0];
    name = name.substr(name.rfind('/') + 1);
    return std::to_string(process.pid) + (name.empty() ? "" : " (" + name + ")");
}

// The file whose presence tells the VM's SIGQUIT handler to start the attach listener:
// in its working directory, else in its /tmp. Removed again when this goes.
class AttachTrigger {
public:
    AttachTrigger(const ProcessInfo& process, const std::string& tmp)
    {
        const std::string name = "/.attach_pid" + std::to_string(process.namespacePid);
        for (const std::string& dir : {"/proc/" + std::to_string(process.pid) + "/cwd", tmp}) {
            const SocketFd created(
                ::open((dir + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (created.valid()) {
                path_ = dir + name;
                return;
            }
            if (errno == EEXIST)  // another tool's trigger, under way: it serves us too
                return;
        }
    }
    ~AttachTrigger()
    {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    AttachTrigger(const AttachTrigger&) = delete;
    AttachTrigger& operator=(const AttachTrigger&) = delete;

private:
    std::string path_;
};

// Makes the VM open its attach socket: the trigger file and SIGQUIT, once more half-way
// through as jcmd does, since a VM busy starting up may miss the first.
bool startAttachListener(const ProcessInfo& process, const std::string& tmp, const std::string& socketPath,
                         std::chrono::milliseconds timeout)
{
    AttachTrigger trigger(process, tmp);
    const auto start = Clock::now();
    bool resent = false;
    if (::kill(static_cast<pid_t>(process.pid), SIGQUIT) != 0)
        return false;
    while (!isSocket(socketPath)) {
        const auto spent = Clock::now() - start;
        if (spent > timeout)
            return false;
        if (!resent && spent > timeout / 2) {
            ::kill(static_cast<pid_t>(process.pid), SIGQUIT);
            resent = true;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return true;
}

std::string lastSentence(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    const size_t line = text.rfind('\n');
    return line == std::string::npos ? text : text.substr(line + 1);
}

}  // namespace

std::string attachRequestBytes(const std::string& command, const std::vector<std::string>& arguments,
                               std::string& error)
{
    if (arguments.size() > kMaxArguments) {
        error = "the attach mechanism takes at most 3 arguments";
        return {};
    }
    std::string bytes = std::string(kProtocolVersion) + '\0' + command + '\0';
    for (size_t i = 0; i < kMaxArguments; ++i) {
        const std::string argument = i < arguments.size() ? arguments[i] : std::string();
        if (argument.size() > kMaxArgumentLength || argument.find('\0') != std::string::npos) {
            error = "an argument of more than 1024 bytes, or with a NUL byte, cannot be sent to the VM";
            return {};
        }
        bytes += argument + '\0';
    }
    return bytes;
}

bool parseAttachReply(const std::string& bytes, AttachReply& reply)
{
    const size_t newline = bytes.find('\n');
    const std::string status = bytes.substr(0, newline);
    if (status.empty() || status.find_first_not_of("-0123456789") != std::string::npos || status.size() > 11)
        return false;
    reply.status = std::atoi(status.c_str());
    reply.output = newline == std::string::npos ? std::string() : bytes.substr(newline + 1);
    return true;
}

AttachResult openAttachExchange(long pid, const std::string& command, const std::vector<std::string>& arguments,
                                AttachExchange& exchange, std::chrono::milliseconds startTimeout)
{
    exchange = AttachExchange();
    std::string error;
    const std::string request = attachRequestBytes(command, arguments, error);
    if (request.empty())
        return failed(AttachFailure::refused, error);

    const auto jvm = describeLocalJvm(pid);
    if (!jvm)
        return failed(AttachFailure::gone, "no process with id " + std::to_string(pid));
    const ProcessInfo& process = jvm->process;
    if (!jvm->ours)
        return failed(AttachFailure::otherUser, "process " + named(process) + " belongs to user " + jvm->user +
                                                    ", and a VM lets only its own user attach: run this as " +
                                                    jvm->user);

    if (process.state == 'T' || process.state == 't')
        return failed(AttachFailure::stopped, "process " + named(process) +
                                                  " is stopped, so it cannot answer: continue it first (kill -CONT " +
                                                  std::to_string(pid) + ")");

    const std::string tmp = vmTempDirectory(pid);
    const std::string socketPath = tmp + "/.java_pid" + std::to_string(process.namespacePid);
    SocketFd socket;
    // Twice at most: a socket file that refuses connections was left by an earlier
    // process of this pid, killed before it could remove it. No VM listens on it, so it
    // goes, and this VM is asked to open its own as if there were none.
    for (int attempt = 0; attempt < 2 && !socket.valid(); ++attempt) {
        if (!isSocket(socketPath)) {
            if (jvm->attachDisabled)
                return failed(AttachFailure::attachDisabled, "process " + named(process) +
                                                                 " was started with -XX:+DisableAttachMechanism, so "
                                                                 "nothing can be loaded into it while it runs");
            // SIGQUIT ends a process that does not catch it: only a VM's handler may get it.
            if (!process.catchesQuit)
                return failed(AttachFailure::notHotSpot, "process " + named(process) +
                                                             " is not a HotSpot Java VM, so it has no attach "
                                                             "mechanism to load the agent through");
            if (!startAttachListener(process, tmp, socketPath, startTimeout)) {
                if (!readProcess(pid))
                    return failed(AttachFailure::gone, "process " + std::to_string(pid) + " ended while attaching");
                const long long ms = startTimeout.count();
                return failed(AttachFailure::notHotSpot,
                              "process " + named(process) + " did not open its attach socket within " +
                                  std::to_string(ms) + " ms; a VM does not when it was started with "
                                                       "-XX:+DisableAttachMechanism, or when it is not HotSpot");
            }
        }
        struct stat st {};
        if (::lstat(socketPath.c_str(), &st) != 0 || st.st_uid != ::geteuid())
            return failed(AttachFailure::otherUser, socketPath + " does not belong to you, so it is not spoken to");

        SocketFd attempted(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (socketPath.size() >= sizeof address.sun_path)
            return failed(AttachFailure::noAnswer, "the attach socket's path is too long: " + socketPath);
        std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
        const auto* target = reinterpret_cast<sockaddr*>(&address);
        if (attempted.valid() && ::connect(attempted.get(), target, sizeof address) == 0) {
            socket = std::move(attempted);
        } else if (errno == ECONNREFUSED && attempt == 0) {
            ::unlink(socketPath.c_str());
        } else {
            return failed(AttachFailure::noAnswer,
                          "cannot connect to " + socketPath + ": " + std::strerror(errno) + " (is the VM ending?)");
        }
    }
    exchange.socket_ = std::move(socket);
    exchange.request_ = request;
    exchange.processName_ = named(process);
    // A diagnostic command is named as jcmd names it; other commands by their name.
    exchange.commandName_ = command == "jcmd" && !arguments.empty() ? arguments[0] : command;
    return {};
}

AttachResult AttachExchange::send()
{
    if (!sendAll(socket_.get(), request_))
        return failed(AttachFailure::noAnswer, "process " + processName_ + " closed its attach socket");
    return {};
}

bool AttachExchange::readAvailable()
{
    char buffer[4096];
    while (!closed_) {
        const long n = ::recv(socket_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            received_.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            closed_ = true;
        } else if (errno != EINTR) {
            break;
        }
    }
    return closed_;
}

AttachResult AttachExchange::finish(std::chrono::milliseconds replyTimeout)
{
    const auto deadline = Clock::now() + replyTimeout;
    while (!readAvailable()) {
        int wait = -1;
        if (replyTimeout.count() > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return failed(AttachFailure::noAnswer, "process " + processName_ + " did not answer " +
                                                           commandName_ + " within " +
                                                           std::to_string(replyTimeout.count()) + " ms");
            wait = static_cast<int>(left.count());
        }
        pollfd ready{socket_.get(), POLLIN, 0};
        if (::poll(&ready, 1, wait) < 0 && errno != EINTR)
            break;
    }
    socket_.reset();
    AttachResult result;
    if (!parseAttachReply(received_, result.reply))
        return failed(AttachFailure::noAnswer, "process " + processName_ + " gave no answer to " + commandName_);
    if (result.reply.status != 0) {
        const std::string why = lastSentence(result.reply.output);
        result.failure = AttachFailure::refused;
        result.message = "process " + processName_ + " refused " + commandName_ + " (status " +
                         std::to_string(result.reply.status) + (why.empty() ? ")" : "): " + why);
    }
    return result;
}

AttachResult attachCommand(long pid, const std::string& command, const std::vector<std::string>& arguments,
                           std::chrono::milliseconds startTimeout, std::chrono::milliseconds replyTimeout)
{
    AttachExchange exchange;
    AttachResult opened = openAttachExchange(pid, command, arguments, exchange, startTimeout);
    if (!opened.ok())
        return opened;
    AttachResult sent = exchange.send();
    if (!sent.ok())
        return sent;
    return exchange.finish(replyTimeout);
}

AttachResult loadAgentLibrary(long pid, const std::string& library, const std::string& options, int& returnCode)
{
    // "true": the path is absolute, not a name for the VM to look up on its library path.
    AttachResult result = attachCommand(pid, "load", {library, "true", options}, kStartTimeout, kLoadTimeout);
    if (!result.ok())
        return result;
    // JDK 17 prints "return code: N" alone; later ones may add the reason on lines before.
    const std::string prefix = "return code: ";
    const size_t at = result.reply.output.rfind(prefix);
    if (at == std::string::npos) {
        result.failure = AttachFailure::refused;
        const std::string why = lastSentence(result.reply.output);
        result.message = "process " + std::to_string(pid) + " did not load the agent" + (why.empty() ? "" : ": " + why);
        return result;
    }
    returnCode = std::atoi(result.reply.output.c_str() + at + prefix.size());
    return result;
}

AttachResult runDiagnosticCommand(long pid, const std::string& commandLine)
{
    return attachCommand(pid, "jcmd", {commandLine});
}
