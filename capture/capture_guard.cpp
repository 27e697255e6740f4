#include "capture_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "capture_error.h"
#include "private_dir.h"

namespace {

constexpr char kDone = 'd';
constexpr char kCleanUp = 'c';
constexpr int kControlFd = 3;
constexpr int kPipeFd = 4;

// In the forked guard: only system calls from here on, as the client may have had other
// threads when it forked.
[[noreturn]] void guard(int control, int pipeFd, const char* directory, const char* base, const char* extraFile)
{
    ::setsid();
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
    }
    // Only the two descriptors stay open: a pipe the client writes into (its standard
    // output read by another program) must not wait for the guard to end.
    const int movedControl = ::fcntl(control, F_DUPFD, 100);
    const int movedPipe = ::fcntl(pipeFd, F_DUPFD, 100);
    ::dup2(movedControl, kControlFd);
    ::dup2(movedPipe, kPipeFd);
    if (::syscall(SYS_close_range, kPipeFd + 1, ~0U, 0) != 0)
        for (int fd = kPipeFd + 1; fd < 4096; ++fd)
            ::close(fd);
    char word = 0;
    ssize_t n;
    do
        n = ::read(kControlFd, &word, 1);
    while (n < 0 && errno == EINTR);
    if (n == 1 && word == kDone)
        ::_exit(0);
    if (extraFile[0] != '\0')
        ::unlink(extraFile);
    removeCaptureDirectory(directory);
    ::rmdir(base);  // fails, as it should, while another capture's directory is in it
    ::close(kPipeFd);
    ::_exit(0);
}

}  // namespace

CaptureGuard::CaptureGuard(int pipeFd, const std::string& directory, const std::string& extraFile)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw CaptureError(CaptureFailure::local, std::string("no pipe for the capture's guard: ") + std::strerror(errno));
    // The strings the guard needs, ready before the fork.
    const std::string dir = directory;
    const std::string base = dir.substr(0, dir.rfind('/'));
    const std::string extra = extraFile;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[1]);
        guard(ends[0], pipeFd, dir.c_str(), base.c_str(), extra.c_str());
    }
    ::close(ends[0]);
    if (child < 0) {
        const int error = errno;
        ::close(ends[1]);
        throw CaptureError(CaptureFailure::local, std::string("cannot start the capture's guard: ") + std::strerror(error));
    }
    control_ = ends[1];
    pid_ = child;
}

CaptureGuard::CaptureGuard(CaptureGuard&& other) noexcept
    : control_(std::exchange(other.control_, -1)), pid_(std::exchange(other.pid_, -1))
{
}

CaptureGuard& CaptureGuard::operator=(CaptureGuard&& other) noexcept
{
    if (this != &other) {
        tell(kCleanUp);
        control_ = std::exchange(other.control_, -1);
        pid_ = std::exchange(other.pid_, -1);
    }
    return *this;
}

CaptureGuard::~CaptureGuard() { tell(kCleanUp); }

void CaptureGuard::release() { tell(kDone); }

void CaptureGuard::tell(char word)
{
    if (control_ < 0)
        return;
    // The guard reads one byte; closing without one means the same as kCleanUp.
    [[maybe_unused]] const ssize_t n = ::write(control_, &word, 1);
    ::close(control_);
    control_ = -1;
    // It ends at once (its clean-up waits for nothing): no zombie is left behind.
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}
