#include "process_info.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "socket_fd.h"

namespace {

constexpr unsigned long long kSigquitBit = 1ull << (3 - 1);  // signal 3, bit 2 of the masks

bool hexMask(const std::string& text, unsigned long long& mask)
{
    char* end = nullptr;
    mask = std::strtoull(text.c_str(), &end, 16);
    return end && end != text.c_str();
}

}  // namespace

std::optional<std::string> readSmallFile(const std::string& path)
{
    const SocketFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        return std::nullopt;
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        return text;
    }
}

unsigned long long startTicksOfStat(const std::string& statText)
{
    // "PID (COMMAND) STATE ...": COMMAND may hold blanks and parentheses, so the fields
    // are counted from the last ')'; the start time is the 20th after it.
    const size_t close = statText.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(statText.substr(close + 1));
    std::string field;
    for (int i = 0; i < 20 && fields >> field; ++i) {
    }
    if (!fields)
        return 0;
    char* end = nullptr;
    const unsigned long long ticks = std::strtoull(field.c_str(), &end, 10);
    return end && *end == '\0' ? ticks : 0;
}

char stateOfStat(const std::string& statText)
{
    const size_t close = statText.rfind(')');
    if (close == std::string::npos || close + 2 >= statText.size())
        return '?';
    return statText[close + 2];
}

bool readStatusText(const std::string& statusText, long pid, ProcessInfo& info)
{
    std::istringstream lines(statusText);
    bool haveUid = false;
    unsigned long long caught = 0, ignored = 0;
    info.namespacePid = pid;
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string key = line.substr(0, colon);
        std::istringstream values(line.substr(colon + 1));
        if (key == "Uid") {
            long real = 0, effective = 0;
            if (values >> real >> effective) {
                info.uid = static_cast<uid_t>(effective);
                haveUid = true;
            }
        } else if (key == "NSpid") {
            for (long inner = 0; values >> inner;)
                info.namespacePid = inner;
        } else if (key == "SigCgt") {
            std::string mask;
            values >> mask;
            hexMask(mask, caught);
        } else if (key == "SigIgn") {
            std::string mask;
            values >> mask;
            hexMask(mask, ignored);
        }
    }
    info.catchesQuit = (caught & kSigquitBit) && !(ignored & kSigquitBit);
    return haveUid;
}

std::optional<ProcessInfo> readProcess(long pid)
{
    if (pid <= 0)
        return std::nullopt;
    const std::string dir = "/proc/" + std::to_string(pid);
    const auto status = readSmallFile(dir + "/status");
    const auto stat = readSmallFile(dir + "/stat");
    if (!status || !stat)
        return std::nullopt;
    ProcessInfo info;
    info.pid = pid;
    if (!readStatusText(*status, pid, info))
        return std::nullopt;
    info.startTicks = startTicksOfStat(*stat);
    info.state = stateOfStat(*stat);
    if (const auto cmdline = readSmallFile(dir + "/cmdline")) {
        size_t start = 0;
        while (start < cmdline->size()) {
            const size_t end = cmdline->find('\0', start);
            info.commandLine.push_back(cmdline->substr(start, end == std::string::npos ? end : end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    return info;
}

std::string userName(uid_t uid)
{
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return found->pw_name;
    return std::to_string(uid);
}
