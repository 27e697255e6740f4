// The heap dump as a forward-only stream of big-endian values with its position known
// at every byte, so every error names where it was found. It keeps one buffer and never
// seeks; a value is decoded from the buffer in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "byte_source.h"

class DumpInput {
public:
    // The most peek() may ask for; the buffer starts small and grows to this as the
    // stream proves long, so a small dump costs little.
    static constexpr size_t kBufferSize = 4u << 20;

    explicit DumpInput(ByteSource& source);

    // Bytes of the dump consumed so far: the offset of the next byte.
    uint64_t position() const { return base_ + next_; }
    // True once every byte has been consumed.
    bool atEnd();
    // Makes n bytes (n <= kBufferSize) readable at the returned pointer without consuming
    // them. If the stream ends first, throws "truncated record at byte <recordStart>".
    const uint8_t* peek(size_t n)
    {
        if (end_ - next_ >= n)
            return buffer_.data() + next_;
        return peekSlow(n);
    }
    // Consumes n bytes that peek made readable.
    void advance(size_t n) { next_ += n; }
    // Consumes n bytes, reading through them.
    void skip(uint64_t n);
    // Up to max bytes readable at once, at least 1 (throws at the end of the stream).
    size_t available(size_t max);
    const uint8_t* current() const { return buffer_.data() + next_; }

    // The record errors are reported against.
    void setRecordStart(uint64_t offset) { recordStart_ = offset; }
    uint64_t recordStart() const { return recordStart_; }

    uint64_t sourceConsumed() const { return source_.consumed(); }

private:
    bool fill(size_t n);
    void grow(size_t n);
    const uint8_t* peekSlow(size_t n);
    [[noreturn]] void truncated() const;

    ByteSource& source_;
    std::vector<uint8_t> buffer_;
    size_t next_ = 0;   // first unconsumed byte in buffer_
    size_t end_ = 0;    // end of valid bytes in buffer_
    uint64_t base_ = 0; // dump offset of buffer_[0]
    uint64_t refills_ = 0;
    uint64_t recordStart_ = 0;
    bool eof_ = false;
};

// Big-endian loads from a buffer that peek() made readable.
inline uint16_t loadU2(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return __builtin_bswap16(v);
}
inline uint32_t loadU4(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return __builtin_bswap32(v);
}
inline uint64_t loadU8(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}
inline uint64_t loadId(const uint8_t* p, unsigned idSize) { return idSize == 8 ? loadU8(p) : loadU4(p); }
