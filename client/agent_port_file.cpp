#include "agent_port_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "socket_fd.h"

namespace {

constexpr const char* kPrefix = ".vorlan_pid";
constexpr size_t kMaxFileSize = 4096;

bool wholeNumber(const std::string& text, unsigned long long max, unsigned long long& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0 && value <= max;
}

// Opens path for reading only if it is a plain file of ours, checked before opening
// (lstat) and again on what was opened (fstat), so a file swapped in between is refused.
SocketFd openOwnFile(const std::string& path, std::string& why)
{
    struct stat before {};
    if (::lstat(path.c_str(), &before) != 0) {
        why = std::strerror(errno);
        return {};
    }
    if (!S_ISREG(before.st_mode)) {
        why = path + " is not a plain file";
        return {};
    }
    if (before.st_uid != ::geteuid()) {
        why = path + " belongs to another user";
        return {};
    }
    SocketFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid()) {
        why = "cannot open " + path + ": " + std::strerror(errno);
        return {};
    }
    struct stat after {};
    if (::fstat(file.get(), &after) != 0 || after.st_ino != before.st_ino || after.st_dev != before.st_dev ||
        after.st_uid != ::geteuid()) {
        why = path + " changed while it was opened";
        return {};
    }
    return file;
}

std::string readAll(int fd)
{
    std::string text;
    char buffer[512];
    while (text.size() < kMaxFileSize) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

}  // namespace

std::string vmTempDirectory(long pid)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    char ours[128] = {}, theirs[128] = {};
    const bool known = ::readlink("/proc/self/ns/mnt", ours, sizeof ours - 1) > 0 &&
                       ::readlink((proc + "/ns/mnt").c_str(), theirs, sizeof theirs - 1) > 0;
    if (!known || std::strcmp(ours, theirs) == 0)
        return "/tmp";
    const std::string inside = proc + "/root/tmp";
    return ::access(inside.c_str(), R_OK | X_OK) == 0 ? inside : "/tmp";
}

std::string portFilePath(const std::string& tempDirectory, long namespacePid)
{
    return tempDirectory + "/" + kPrefix + std::to_string(namespacePid);
}

bool parsePortFileText(const std::string& text, int& port, unsigned long long& startTicks)
{
    bool havePort = false, haveStart = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals);
        unsigned long long value = 0;
        if (key == "port" && wholeNumber(line.substr(equals + 1), 65535, value) && value > 0) {
            port = static_cast<int>(value);
            havePort = true;
        } else if (key == "start" && wholeNumber(line.substr(equals + 1), ~0ull, value)) {
            startTicks = value;
            haveStart = true;
        }
    }
    return havePort && haveStart;
}

PortFileLookup readPortFileAt(const std::string& path, const ProcessInfo& process)
{
    PortFileLookup lookup;
    lookup.path = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        lookup.state = errno == ENOENT ? PortFileState::absent : PortFileState::unreadable;
        lookup.why = std::strerror(errno);
        return lookup;
    }
    std::string why;
    const SocketFd file = openOwnFile(path, why);
    if (!file.valid()) {
        lookup.state = st.st_uid != ::geteuid() || !S_ISREG(st.st_mode) ? PortFileState::foreign
                                                                         : PortFileState::unreadable;
        lookup.why = why;
        return lookup;
    }
    const std::string text = readAll(file.get());
    int port = 0;
    unsigned long long start = 0;
    if (!parsePortFileText(text, port, start)) {
        lookup.state = PortFileState::unreadable;
        lookup.why = path + " holds no port and start time";
        return lookup;
    }
    if (start != process.startTicks) {
        // The pid was reused: the file's VM is gone, and it was ours to remove.
        ::unlink(path.c_str());
        lookup.state = PortFileState::stale;
        return lookup;
    }
    lookup.state = PortFileState::found;
    lookup.port = port;
    return lookup;
}

PortFileLookup readPortFile(const ProcessInfo& process)
{
    return readPortFileAt(portFilePath(vmTempDirectory(process.pid), process.namespacePid), process);
}

int removeStalePortFiles(const std::string& directory)
{
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
    if (!dir)
        return 0;
    int removed = 0;
    const size_t prefixLength = std::strlen(kPrefix);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        unsigned long long pid = 0;
        if (name.compare(0, prefixLength, kPrefix) != 0 || !wholeNumber(name.substr(prefixLength), 1u << 30, pid))
            continue;
        const std::string path = directory + "/" + name;
        if (const auto process = readProcess(static_cast<long>(pid))) {
            // A live pid: the file is stale when that process started at another time.
            if (readPortFileAt(path, *process).state == PortFileState::stale)
                ++removed;
            continue;
        }
        std::string why;
        if (!openOwnFile(path, why).valid())
            continue;
        if (::unlink(path.c_str()) == 0)
            ++removed;
    }
    return removed;
}
