#include "dump_input.h"

#include <algorithm>
#include <string>

#include "hprof_error.h"

DumpInput::DumpInput(ByteSource& source) : source_(source), buffer_(64 * 1024) {}

void DumpInput::grow(size_t n)
{
    size_t size = buffer_.size();
    while (size < n || (refills_ > 4 && size < kBufferSize))
        size *= 2;
    buffer_.resize(std::min(std::max(size, n), std::max(n, kBufferSize)));
}

bool DumpInput::fill(size_t n)
{
    if (end_ - next_ >= n)
        return true;
    // Keep the unconsumed tail at the front, then read behind it; a long stream or a
    // large value grows the buffer.
    ++refills_;
    if (n > buffer_.size() || (refills_ > 4 && buffer_.size() < kBufferSize))
        grow(n);
    if (next_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + next_, end_ - next_);
        base_ += next_;
        end_ -= next_;
        next_ = 0;
    }
    while (end_ < n && !eof_) {
        size_t got;
        try {
            got = source_.read(buffer_.data() + end_, buffer_.size() - end_);
        } catch (const SourceError& e) {
            throw HprofError(base_ + end_, "cannot read the dump", e.what());
        }
        if (got == 0)
            eof_ = true;
        end_ += got;
    }
    return end_ >= n;
}

void DumpInput::truncated() const
{
    throw HprofError(recordStart_, "truncated record",
                     "the stream ends at byte " + std::to_string(base_ + end_));
}

bool DumpInput::atEnd()
{
    return !fill(1);
}

const uint8_t* DumpInput::peekSlow(size_t n)
{
    if (!fill(n))
        truncated();
    return buffer_.data() + next_;
}

size_t DumpInput::available(size_t max)
{
    if (end_ == next_ && !fill(std::min(max, buffer_.size())) && end_ == next_)
        truncated();
    return std::min(max, end_ - next_);
}

void DumpInput::skip(uint64_t n)
{
    while (n > 0) {
        const size_t step = available(static_cast<size_t>(std::min<uint64_t>(n, buffer_.size())));
        next_ += step;
        n -= step;
    }
}
