#include "dump_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture_error.h"

namespace {

// The largest buffer first: 64 MiB where the system lets us (root, or a raised
// /proc/sys/fs/pipe-max-size), else down to the 1 MiB any user may have.
constexpr int kPipeSizes[] = {64 << 20, 16 << 20, 4 << 20, 1 << 20};

}  // namespace

DumpPipe::DumpPipe(const std::string& path) : path_(path)
{
    if (::mkfifo(path.c_str(), 0600) != 0)
        throw CaptureError(CaptureFailure::local, "cannot make the pipe " + path + ": " + std::strerror(errno));
    linked_ = true;
    // Opening the read end without waiting for a writer.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd_ < 0) {
        const int error = errno;
        unlinkPath();
        throw CaptureError(CaptureFailure::local, "cannot open the pipe " + path + ": " + std::strerror(error));
    }
    for (int size : kPipeSizes)
        if (::fcntl(fd_, F_SETPIPE_SZ, size) >= 0)
            break;
    const int size = ::fcntl(fd_, F_GETPIPE_SZ);
    bufferBytes_ = size > 0 ? static_cast<size_t>(size) : 0;
}

void DumpPipe::unlinkPath()
{
    if (linked_)
        ::unlink(path_.c_str());
    linked_ = false;
}

void DumpPipe::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

DumpStream::DumpStream(DumpPipe& pipe, AttachExchange& exchange, const CaptureCancel* cancel,
                       const CaptureCancel* stop)
    : VmDumpStream(exchange, cancel, stop), pipe_(pipe)
{
}

size_t DumpStream::read(uint8_t* buffer, size_t size)
{
    for (;;) {
        const ssize_t n = ::read(pipe_.fd(), buffer, size);
        if (n > 0) {
            writerSeen_ = true;
            consumed_ += static_cast<uint64_t>(n);
            return static_cast<size_t>(n);
        }
        if (n == 0 && (writerSeen_ || answered())) {
            ended_ = true;
            return 0;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw CaptureError(CaptureFailure::stream, std::string("reading the dump's pipe: ") + std::strerror(errno));
        if (n < 0 && errno == EINTR)
            continue;
        // Nothing yet, or no writer yet (a read of 0 before the VM opened the pipe).
        // POLLHUP alone: a writer came and went.
        const short events = wait(pipe_.fd());
        if (events != 0 && (events & POLLIN) == 0)
            writerSeen_ = true;
    }
}
