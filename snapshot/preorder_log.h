// Object numbers in the order a depth-first walk reaches them, each kept as its distance
// from the one before in as few bytes as it needs: the walk mostly goes from an object to
// one the dump wrote shortly after it, so most take one byte where a plain array takes
// four (1.04 bytes per object on the servers' heaps measured here). Read back in order,
// from the start or from any of the marks kept along the way, so that threads can each
// read a part.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

class PreorderLog {
public:
    PreorderLog() : PreorderLog(1u << 16) {}
    // A mark every markEvery entries (a power of two); room for about expected entries,
    // and a byte for each of them faulted in at once (see large_arrays.h: fresh pages are
    // dear one at a time, and the log is written while the walk waits on it).
    explicit PreorderLog(uint32_t markEvery, uint64_t expected = 0);

    void add(uint32_t object)
    {
        if ((count_ & (markEvery_ - 1)) == 0)
            marks_.push_back({bytes_.size(), last_});
        // Zigzag: small distances back and forth both become small numbers.
        const int64_t d = int64_t{object} - int64_t{last_};
        uint64_t z = d >= 0 ? static_cast<uint64_t>(d) << 1 : (static_cast<uint64_t>(-d) << 1) - 1;
        while (z >= 0x80) {
            bytes_.push_back(static_cast<uint8_t>(z | 0x80));
            z >>= 7;
        }
        bytes_.push_back(static_cast<uint8_t>(z));
        last_ = object;
        ++count_;
    }

    uint32_t size() const { return count_; }
    uint32_t markEvery() const { return markEvery_; }
    // Entries [from, to) into out[0 .. to - from); from is a multiple of markEvery().
    void read(uint32_t from, uint32_t to, uint32_t* out) const;
    // The memory it holds: what is written or faulted in (room only reserved takes none).
    uint64_t bytes() const { return std::max<uint64_t>(bytes_.size(), faulted_) + marks_.capacity() * sizeof(Mark); }

private:
    struct Mark {
        size_t offset;    // of the entry's first byte
        uint32_t before;  // the entry before it, or 0
    };
    uint32_t markEvery_;
    uint32_t count_ = 0;
    uint32_t last_ = 0;
    uint64_t faulted_ = 0;
    std::vector<uint8_t> bytes_;
    std::vector<Mark> marks_;
};
