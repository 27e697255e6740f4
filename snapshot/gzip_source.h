// Inflates a gzip stream as it is read. HotSpot's -gz writes the dump as a series of
// gzip members (one per block), so a member's end is followed by the next one; only
// the end of the input ends the stream, and it must fall on a member's end.
#pragma once

#include <zlib.h>

#include <memory>
#include <vector>

#include "byte_source.h"

class GzipSource : public ByteSource {
public:
    explicit GzipSource(std::unique_ptr<ByteSource> compressed);
    ~GzipSource() override;
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    size_t read(uint8_t* buffer, size_t size) override;
    uint64_t consumed() const override { return compressed_->consumed(); }

private:
    bool refill();
    [[noreturn]] void fail(const char* what) const;

    std::unique_ptr<ByteSource> compressed_;
    std::vector<uint8_t> input_;
    z_stream stream_{};
    uint64_t inputOffset_ = 0;  // compressed bytes before input_[0]
    bool inMember_ = false;     // inside a member: the input may not end here
    bool ended_ = false;
};
