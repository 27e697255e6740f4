#include "gzip_source.h"

#include <string>

#include "hprof_error.h"

GzipSource::GzipSource(std::unique_ptr<ByteSource> compressed)
    : compressed_(std::move(compressed)), input_(256 * 1024)
{
    // 16 + MAX_WBITS: gzip framing only, header comments and all.
    if (inflateInit2(&stream_, 16 + MAX_WBITS) != Z_OK)
        throw SourceError("cannot start inflating the gzip dump");
}

GzipSource::~GzipSource() { inflateEnd(&stream_); }

void GzipSource::fail(const char* what) const
{
    const uint64_t at = inputOffset_ + (stream_.next_in ? static_cast<uint64_t>(stream_.next_in - input_.data()) : 0);
    std::string text = std::string(what) + " at compressed byte " + std::to_string(at);
    if (stream_.msg)
        text += std::string(" (") + stream_.msg + ")";
    throw SourceError(text);
}

bool GzipSource::refill()
{
    if (stream_.next_in)
        inputOffset_ += static_cast<uint64_t>(stream_.next_in - input_.data());
    const size_t n = compressed_->read(input_.data(), input_.size());
    stream_.next_in = input_.data();
    stream_.avail_in = static_cast<uInt>(n);
    return n > 0;
}

size_t GzipSource::read(uint8_t* buffer, size_t size)
{
    if (ended_ || size == 0)
        return 0;
    stream_.next_out = buffer;
    stream_.avail_out = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
    const uInt wanted = stream_.avail_out;
    while (stream_.avail_out == wanted) {
        if (stream_.avail_in == 0 && !refill()) {
            if (inMember_)
                fail("truncated gzip stream");
            ended_ = true;
            break;
        }
        inMember_ = true;  // input follows, so a member must start or go on here
        const int status = inflate(&stream_, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            inMember_ = false;
            if (inflateReset(&stream_) != Z_OK)
                fail("cannot restart inflating");
        } else if (status == Z_BUF_ERROR) {
            // No progress without more input; anything else would be a loop.
            if (stream_.avail_in != 0)
                fail("corrupt gzip data");
        } else if (status != Z_OK) {
            fail("corrupt gzip data");
        }
    }
    return wanted - stream_.avail_out;
}
