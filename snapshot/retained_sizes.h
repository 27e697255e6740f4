// Retained sizes: the shallow sizes of an object and of every object it dominates, which
// is what the next collections would free if nothing referred to the object any more.
// Totals are 64-bit figures stored in 40 bits of 8-byte units (up to 8 TiB), five bytes
// per object: the low four in one array, the top byte in another, so that the larger
// array can take the memory the analysis has just freed instead of fresh pages.
// computeDominators makes them.
#pragma once

#include <cstdint>
#include <vector>

#include "heap_graph.h"

class RetainedSizes {
public:
    RetainedSizes() = default;
    // Sums in preorder space, where dominated objects come after their dominator and
    // the totals are read and written in sequence: preorder[v - 1] is the object
    // numbered v and idomByNumber[v] its dominator's number (0: the virtual root). Then
    // one pass puts each total in its object's place. Both arrays are freed as soon as
    // they are done with, to keep the peak low.
    RetainedSizes(const HeapGraph& graph, std::vector<uint32_t>&& preorder, std::vector<uint32_t>&& idomByNumber);

    // The bytes object retains; 0 for an object no root reaches. kVirtualRoot retains
    // every reachable object.
    void prefetch(uint32_t object) const { __builtin_prefetch(&low_[object]); }
    uint64_t bytes(uint32_t object) const
    {
        if (object == kVirtualRoot)
            return reachableBytes_;
        return ((uint64_t{high_[object]} << 32) | low_[object]) * kSizeUnit;
    }
    uint64_t memoryBytes() const { return low_.capacity() * sizeof(uint32_t) + high_.capacity(); }

private:
    static constexpr uint64_t kMask = (uint64_t{1} << 40) - 1;

    std::vector<uint32_t> low_;  // 4 B/object
    std::vector<uint8_t> high_;  // 1 B/object
    uint64_t reachableBytes_ = 0;
};
