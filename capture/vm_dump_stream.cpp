#include "vm_dump_stream.h"

#include <poll.h>

#include <cerrno>
#include <cstring>

#include "capture_cancel.h"
#include "capture_error.h"

namespace {

[[noreturn]] void cancelled()
{
    throw CaptureError(CaptureFailure::cancelled, "the capture was cancelled");
}

}  // namespace

VmDumpStream::VmDumpStream(AttachExchange& exchange, const CaptureCancel* cancel, const CaptureCancel* stop)
    : exchange_(exchange), cancels_{cancel, stop}
{
}

void VmDumpStream::readAnswer()
{
    if (answered_ || !exchange_.readAvailable())
        return;
    answered_ = true;
    answer_ = exchange_.finish();
    if (!answer_.ok())
        throw CaptureError(CaptureFailure::refused, answer_.message);
}

short VmDumpStream::wait(int fd, int timeoutMs)
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
        const nfds_t fdAt = count;
        if (fd >= 0)
            fds[count++] = {fd, POLLIN, 0};
        const nfds_t answerAt = count;
        const bool wasAnswered = answered_;
        if (!answered_)
            fds[count++] = {exchange_.socket(), POLLIN, 0};
        const int ready = ::poll(fds, count, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            throw CaptureError(CaptureFailure::stream, std::string("waiting for the dump: ") + std::strerror(errno));
        }
        if (ready == 0)
            return 0;
        for (nfds_t i = 0; i < fdAt; ++i)
            if (fds[i].revents != 0)
                cancelled();
        if (!wasAnswered && fds[answerAt].revents != 0)
            readAnswer();
        if (fd >= 0 && fds[fdAt].revents != 0)
            return fds[fdAt].revents;
        if (!wasAnswered && answered_)
            return 0;
    }
}

AttachResult VmDumpStream::answer()
{
    while (!answered_)
        wait(-1);
    return answer_;
}
