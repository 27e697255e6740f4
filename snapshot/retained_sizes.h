// Retained sizes: the shallow sizes of an object and of every object it dominates, which
// is what the next collections would free if nothing referred to the object any more.
// Totals are 64-bit figures stored in 40 bits of 8-byte units (up to 8 TiB), five bytes
// per object side by side, so that one lookup touches one cache line (mostly).
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "dominators.h"
#include "heap_graph.h"

class RetainedSizes {
public:
    RetainedSizes() = default;
    // One backward pass over the preorder: each object's total is final before it is
    // added to its immediate dominator's.
    RetainedSizes(const HeapGraph& graph, const Dominators& dominators);

    // The bytes object retains; 0 for an object no root reaches. kVirtualRoot retains
    // every reachable object.
    uint64_t bytes(uint32_t object) const
    {
        if (object == kVirtualRoot)
            return reachableBytes_;
        return units(object) * kSizeUnit;
    }
    uint64_t memoryBytes() const { return packed_.capacity(); }

private:
    static constexpr uint64_t kMask = (uint64_t{1} << 40) - 1;

    uint64_t units(uint32_t object) const
    {
        uint64_t word;
        std::memcpy(&word, packed_.data() + uint64_t{object} * 5, sizeof word);
        return word & kMask;  // little-endian: the low five bytes are this object's
    }
    void setUnits(uint32_t object, uint64_t units);

    std::vector<uint8_t> packed_;  // 5 B/object (+3 so the last read of eight stays inside)
    uint64_t reachableBytes_ = 0;
};
