#include "capture_cancel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

CaptureCancel::CaptureCancel()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "a pipe to cancel the capture with");
    read_ = ends[0];
    write_ = ends[1];
}

CaptureCancel::~CaptureCancel()
{
    ::close(read_);
    ::close(write_);
}

void CaptureCancel::cancel()
{
    if (cancelled_.exchange(true))
        return;
    const char byte = 'c';
    // A full pipe is readable already, which is all the byte is for.
    [[maybe_unused]] const ssize_t n = ::write(write_, &byte, 1);
}
