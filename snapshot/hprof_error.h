// A heap dump that cannot be read: what is wrong and the byte of the dump where it was
// found, so a truncated or corrupted file gets one clear message.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class HprofError : public std::runtime_error {
public:
    // what: "truncated record"; detail: anything after it ("the stream ends at byte 40").
    HprofError(uint64_t offset, const std::string& what, const std::string& detail = {});
    uint64_t offset() const { return offset_; }

private:
    uint64_t offset_;
};

// "0x7f3a2c10": an identifier or address as errors and names show it.
std::string hexText(uint64_t value);

// An I/O or decompression failure below the HPROF reader; it names its own position
// (a compressed byte, say) and the reader adds the dump's.
class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
