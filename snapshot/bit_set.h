// One bit per object: a flag that the graph walks test once per reference, at 1/8 byte
// per object where a std::vector<bool> would do as well but hides its words.
#pragma once

#include <cstdint>
#include <vector>

class BitSet {
public:
    BitSet() = default;
    explicit BitSet(uint32_t size) : words_((uint64_t{size} + 63) / 64) {}

    void set(uint32_t i) { words_[i >> 6] |= uint64_t{1} << (i & 63); }
    bool test(uint32_t i) const { return (words_[i >> 6] >> (i & 63)) & 1; }
    uint64_t bytes() const { return words_.capacity() * sizeof(uint64_t); }

private:
    std::vector<uint64_t> words_;
};
