#include "dump_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture_cancel.h"
#include "capture_error.h"

namespace {

// The largest buffer first: 64 MiB where the system lets us (root, or a raised
// /proc/sys/fs/pipe-max-size), else down to the 1 MiB any user may have.
constexpr int kPipeSizes[] = {64 << 20, 16 << 20, 4 << 20, 1 << 20};

[[noreturn]] void cancelled()
{
    throw CaptureError(CaptureFailure::cancelled, "the capture was cancelled");
}

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
    : pipe_(pipe), exchange_(exchange), cancels_{cancel, stop}
{
}

void DumpStream::readAnswer()
{
    if (answered_ || !exchange_.readAvailable())
        return;
    answered_ = true;
    answer_ = exchange_.finish();
    if (!answer_.ok())
        throw CaptureError(CaptureFailure::refused, answer_.message);
}

void DumpStream::wait(bool forPipe)
{
    for (;;) {
        pollfd fds[4];
        nfds_t count = 0;
        for (const CaptureCancel* cancel : cancels_) {
            if (!cancel)
                continue;
            if (cancel->cancelled())
                cancelled();
            fds[count++] = {cancel->fd(), POLLIN, 0};
        }
        const nfds_t pipeAt = count;
        if (forPipe)
            fds[count++] = {pipe_.fd(), POLLIN, 0};
        const nfds_t answerAt = count;
        if (!answered_)
            fds[count++] = {exchange_.socket(), POLLIN, 0};
        if (::poll(fds, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw CaptureError(CaptureFailure::stream, std::string("waiting for the dump: ") + std::strerror(errno));
        }
        for (nfds_t i = 0; i < pipeAt; ++i)
            if (fds[i].revents != 0)
                cancelled();
        if (!answered_ && fds[answerAt].revents != 0)
            readAnswer();
        if (forPipe && fds[pipeAt].revents != 0) {
            // POLLHUP alone: a writer came and went.
            if ((fds[pipeAt].revents & POLLIN) == 0)
                writerSeen_ = true;
            return;
        }
        if (!forPipe && answered_)
            return;
    }
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
        if (n == 0 && (writerSeen_ || answered_)) {
            ended_ = true;
            return 0;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw CaptureError(CaptureFailure::stream, std::string("reading the dump's pipe: ") + std::strerror(errno));
        if (n < 0 && errno == EINTR)
            continue;
        // Nothing yet, or no writer yet (a read of 0 before the VM opened the pipe).
        wait(true);
    }
}

AttachResult DumpStream::answer()
{
    while (!answered_)
        wait(false);
    return answer_;
}
