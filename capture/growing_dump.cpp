#include "growing_dump.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture_error.h"

namespace {

// Pages are given back in steps of this many bytes: each punch holds the file's lock
// against the VM's writes for a moment, so not at every read.
constexpr uint64_t kReleaseStep = 16u << 20;
// Without inotify, how often the end of the file is looked at again.
constexpr int kLookAgainMs = 2;

}  // namespace

GrowingDump::GrowingDump(const std::string& path) : path_(path)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0)
        throw CaptureError(CaptureFailure::local, "cannot make the file " + path + ": " + std::strerror(errno));
    linked_ = true;
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, path.c_str(), IN_MODIFY | IN_CLOSE_WRITE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
}

void GrowingDump::unlinkPath()
{
    if (linked_)
        ::unlink(path_.c_str());
    linked_ = false;
}

void GrowingDump::close()
{
    if (watch_ >= 0)
        ::close(watch_);
    watch_ = -1;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

GrowingDumpStream::GrowingDumpStream(GrowingDump& file, AttachExchange& exchange, const CaptureCancel* cancel,
                                     const CaptureCancel* stop)
    : VmDumpStream(exchange, cancel, stop), file_(file)
{
}

void GrowingDumpStream::emptyWatch()
{
    alignas(inotify_event) char events[4096];
    while (::read(file_.watch(), events, sizeof events) > 0) {
    }
}

void GrowingDumpStream::giveBackRead()
{
    struct stat st {};
    if (::fstat(file_.fd(), &st) == 0 && static_cast<uint64_t>(st.st_size) > consumed_)
        mostAhead_ = std::max(mostAhead_, static_cast<uint64_t>(st.st_size) - consumed_);
    const uint64_t upTo = consumed_ / kReleaseStep * kReleaseStep;
    if (upTo <= released_)
        return;
    // Where holes cannot be punched the file keeps what was read, as any dump file would.
    if (::fallocate(file_.fd(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(released_),
                    static_cast<off_t>(upTo - released_)) == 0)
        released_ = upTo;
    else
        released_ = UINT64_MAX;
}

size_t GrowingDumpStream::read(uint8_t* buffer, size_t size)
{
    for (;;) {
        // The VM answers after its last write: once the answer is in, a read that finds
        // nothing more is the end.
        const bool complete = answered();
        const ssize_t n = ::read(file_.fd(), buffer, size);
        if (n > 0) {
            const uint64_t before = consumed_;
            consumed_ += static_cast<uint64_t>(n);
            if (consumed_ / kReleaseStep != before / kReleaseStep)
                giveBackRead();
            return static_cast<size_t>(n);
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw CaptureError(CaptureFailure::stream, std::string("reading the dump's file: ") + std::strerror(errno));
        if (complete) {
            ended_ = true;
            return 0;
        }
        if (file_.watch() >= 0) {
            wait(file_.watch());
            emptyWatch();
        } else {
            wait(-1, kLookAgainMs);
        }
    }
}
