#include "preorder_log.h"

#include <stdexcept>

PreorderLog::PreorderLog(uint32_t markEvery, uint64_t expected) : markEvery_(markEvery)
{
    if (markEvery == 0 || (markEvery & (markEvery - 1)) != 0)
        throw std::invalid_argument("preorder log: marks must come every power of two entries");
    // Reserved room is only address space until written, so a generous guess costs
    // nothing, and growing past it copies the log once or twice at most.
    bytes_.reserve(expected + expected / 4);
    bytes_.resize(expected);
    bytes_.clear();
    faulted_ = expected;
}

void PreorderLog::read(uint32_t from, uint32_t to, uint32_t* out) const
{
    if (from > to || to > count_ || (from & (markEvery_ - 1)) != 0)
        throw std::out_of_range("preorder log: not a part that can be read");
    if (from == to)
        return;
    const Mark& mark = marks_[from / markEvery_];
    const uint8_t* at = bytes_.data() + mark.offset;
    int64_t last = mark.before;
    for (uint32_t i = 0; i < to - from; ++i) {
        uint64_t z = 0;
        unsigned shift = 0;
        uint8_t b;
        do {
            b = *at++;
            z |= uint64_t{b & 0x7Fu} << shift;
            shift += 7;
        } while (b & 0x80);
        last += (z & 1) ? -static_cast<int64_t>((z + 1) >> 1) : static_cast<int64_t>(z >> 1);
        out[i] = static_cast<uint32_t>(last);
    }
}
