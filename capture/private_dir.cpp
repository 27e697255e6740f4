#include "private_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "agent_port_file.h"
#include "capture_error.h"
#include "process_info.h"

namespace {

constexpr const char* kCapturePrefix = "capture-";
constexpr int kTries = 5;  // a dump's part may appear while the directory is emptied

bool memoryBackedAt(const std::string& path)
{
    struct statfs fs {};
    return ::statfs(path.c_str(), &fs) == 0 &&
           (static_cast<unsigned long>(fs.f_type) == TMPFS_MAGIC || static_cast<unsigned long>(fs.f_type) == RAMFS_MAGIC);
}

bool sameMountNamespace(long pid)
{
    char ours[128] = {}, theirs[128] = {};
    const std::string link = "/proc/" + std::to_string(pid) + "/ns/mnt";
    if (::readlink("/proc/self/ns/mnt", ours, sizeof ours - 1) <= 0 ||
        ::readlink(link.c_str(), theirs, sizeof theirs - 1) <= 0)
        return true;
    return std::strcmp(ours, theirs) == 0;
}

// The heap dumper splits its command line at blanks.
bool plainPath(const std::string& path)
{
    return path.find_first_of(" \t\n\"'") == std::string::npos;
}

// Makes dir (0700) unless it exists, and checks that it is a directory of ours that no
// one else may enter, never through a link. Empty when it is; else why not.
std::string ensurePrivate(const std::string& dir)
{
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return "cannot make " + dir + ": " + std::strerror(errno);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0)
        return "cannot read " + dir + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return dir + " is not a directory";
    if (st.st_uid != ::geteuid())
        return dir + " belongs to another user";
    if ((st.st_mode & 077) != 0)
        return dir + " may be entered by other users (mode " + std::to_string(st.st_mode & 0777) + ")";
    return {};
}

struct Base {
    std::string local;   // as we reach it
    std::string inVm;    // as the VM names it
    bool memory = false;
};

// The bases to try, best first.
std::vector<Base> basesFor(long vmPid)
{
    const std::string uid = std::to_string(::geteuid());
    std::vector<Base> bases;
    const bool same = sameMountNamespace(vmPid);
    if (same) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        struct stat st {};
        if (runtime && runtime[0] == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) &&
            st.st_uid == ::geteuid() && memoryBackedAt(runtime))
            bases.push_back({std::string(runtime) + "/vorlan", std::string(runtime) + "/vorlan", true});
    }
    const std::string root = same ? "" : "/proc/" + std::to_string(vmPid) + "/root";
    if (memoryBackedAt(root + "/dev/shm"))
        bases.push_back({root + "/dev/shm/vorlan-" + uid, "/dev/shm/vorlan-" + uid, true});
    // Last, storage that may be a disk: the dump's parts would be written there.
    const std::string tmp = vmTempDirectory(vmPid);
    bases.push_back({tmp + "/vorlan-" + uid, "/tmp/vorlan-" + uid, memoryBackedAt(tmp)});
    return bases;
}

// capture-CLIENTPID-CLIENTSTART-VMPID-XXXXXX: the client's pid, start and the VM's pid.
bool parseCaptureName(const std::string& name, long& client, unsigned long long& start, long& vm)
{
    if (name.rfind(kCapturePrefix, 0) != 0)
        return false;
    const char* at = name.c_str() + std::strlen(kCapturePrefix);
    char* end = nullptr;
    client = std::strtol(at, &end, 10);
    if (*end != '-')
        return false;
    start = std::strtoull(end + 1, &end, 10);
    if (*end != '-')
        return false;
    vm = std::strtol(end + 1, &end, 10);
    return *end == '-' && client > 0 && vm > 0;
}

bool clientAlive(long client, unsigned long long start)
{
    const auto process = readProcess(client);
    return process && process->startTicks == start;
}

using Dir = std::unique_ptr<DIR, int (*)(DIR*)>;

std::vector<std::string> captureNames(const std::string& base)
{
    std::vector<std::string> names;
    Dir dir(::opendir(base.c_str()), ::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get()))
        if (std::strncmp(entry->d_name, kCapturePrefix, std::strlen(kCapturePrefix)) == 0)
            names.emplace_back(entry->d_name);
    return names;
}

struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

}  // namespace

bool removeCaptureDirectory(const char* dir) noexcept
{
    constexpr int kMaxHeld = 64;
    int held[kMaxHeld];
    int heldCount = 0;
    bool removed = false;
    for (int attempt = 0; attempt < kTries && !removed; ++attempt) {
        const int dirFd = ::open(dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dirFd < 0)
            return errno == ENOENT;
        alignas(8) char buffer[4096];
        for (;;) {
            const long n = ::syscall(SYS_getdents64, dirFd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (long at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
                at += entry->d_reclen;
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                    continue;
                if (entry->d_type == DT_FIFO && heldCount < kMaxHeld) {
                    const int reader = ::openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
                    if (reader >= 0)
                        held[heldCount++] = reader;
                }
                ::unlinkat(dirFd, name, 0);
            }
        }
        ::close(dirFd);
        removed = ::rmdir(dir) == 0 || errno == ENOENT;
    }
    for (int i = 0; i < heldCount; ++i)
        ::close(held[i]);
    return removed;
}

size_t sweepStaleCaptures(const std::string& base)
{
    size_t swept = 0;
    for (const std::string& name : captureNames(base)) {
        long client = 0, vm = 0;
        unsigned long long start = 0;
        if (!parseCaptureName(name, client, start, vm) || clientAlive(client, start))
            continue;
        if (removeCaptureDirectory((base + "/" + name).c_str()))
            ++swept;
    }
    return swept;
}

PrivateDir PrivateDir::create(long vmPid)
{
    const auto self = readProcess(::getpid());
    const std::string owner = std::to_string(::getpid()) + "-" + std::to_string(self ? self->startTicks : 0) + "-" +
                              std::to_string(vmPid);
    std::string why;
    for (const Base& base : basesFor(vmPid)) {
        if (!plainPath(base.local) || !plainPath(base.inVm))
            continue;
        // Another capture may remove the base when it finds it empty: make it again.
        for (int attempt = 0; attempt < kTries; ++attempt) {
            why = ensurePrivate(base.local);
            if (!why.empty())
                break;
            sweepStaleCaptures(base.local);
            std::string templ = base.local + "/" + kCapturePrefix + owner + "-XXXXXX";
            if (!::mkdtemp(templ.data())) {
                why = "cannot make a directory in " + base.local + ": " + std::strerror(errno);
                if (errno == ENOENT)
                    continue;
                break;
            }
            PrivateDir dir;
            dir.base_ = base.local;
            dir.path_ = templ;
            dir.vmPath_ = base.inVm + templ.substr(base.local.size());
            dir.memoryBacked_ = base.memory;
            for (const std::string& name : captureNames(base.local)) {
                long client = 0, vm = 0;
                unsigned long long start = 0;
                if (parseCaptureName(name, client, start, vm) && vm == vmPid && base.local + "/" + name != templ &&
                    clientAlive(client, start))
                    dir.others_.push_back(client);
            }
            return dir;
        }
    }
    throw CaptureError(CaptureFailure::local, "no private directory for the heap dump's pipe: " + why);
}

PrivateDir::PrivateDir(PrivateDir&& other) noexcept
    : base_(std::move(other.base_)), path_(std::exchange(other.path_, std::string())),
      vmPath_(std::move(other.vmPath_)), memoryBacked_(other.memoryBacked_), others_(std::move(other.others_))
{
}

PrivateDir& PrivateDir::operator=(PrivateDir&& other) noexcept
{
    if (this != &other) {
        remove();
        base_ = std::move(other.base_);
        path_ = std::exchange(other.path_, std::string());
        vmPath_ = std::move(other.vmPath_);
        memoryBacked_ = other.memoryBacked_;
        others_ = std::move(other.others_);
    }
    return *this;
}

void PrivateDir::remove()
{
    if (path_.empty())
        return;
    removeCaptureDirectory(path_.c_str());
    path_.clear();
    // Fails, as it should, while another capture's directory is in it.
    ::rmdir(base_.c_str());
}
