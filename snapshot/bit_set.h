// One bit per object: a flag that the graph walks test once per reference, at 1/8 byte
// per object where a std::vector<bool> would do as well but hides its words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class BitSet {
public:
    BitSet() = default;
    explicit BitSet(uint32_t size) : words_((uint64_t{size} + 63) / 64) {}

    void set(uint32_t i) { words_[i >> 6] |= uint64_t{1} << (i & 63); }
    void prefetch(uint32_t i) const { __builtin_prefetch(&words_[i >> 6]); }
    bool test(uint32_t i) const { return (words_[i >> 6] >> (i & 63)) & 1; }
    uint64_t bytes() const { return words_.capacity() * sizeof(uint64_t) + ranks_.capacity() * sizeof(uint32_t); }

    // Once the bits are all set: counts them word by word (1/16 byte per bit more), so
    // that rank numbers the set bits densely, in order, for arrays of one entry per set
    // bit instead of one per bit.
    void countRanks()
    {
        ranks_.assign(words_.size() + 1, 0);
        for (size_t w = 0; w < words_.size(); ++w)
            ranks_[w + 1] = ranks_[w] + static_cast<uint32_t>(__builtin_popcountll(words_[w]));
    }
    // How many bits below i are set; after countRanks.
    uint32_t rank(uint32_t i) const
    {
        const uint64_t below = words_[i >> 6] & ((uint64_t{1} << (i & 63)) - 1);
        return ranks_[i >> 6] + static_cast<uint32_t>(__builtin_popcountll(below));
    }
    // How many bits are set; after countRanks.
    uint32_t count() const { return ranks_.empty() ? 0 : ranks_.back(); }

private:
    std::vector<uint64_t> words_;
    std::vector<uint32_t> ranks_;  // set bits before each word
};
