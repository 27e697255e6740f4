// Retained sizes: the shallow sizes of an object and of every object it dominates, which
// is what the next collections would free if nothing referred to the object any more.
// Totals are kept in 8-byte units, four bytes per object: a total of 32 GiB or more (an
// object that holds a good part of a very large heap; few, since each holds more than the
// smaller heaps have in all) is marked there and kept apart, sorted by object. Totals
// stop at 2^40 units (8 TiB; only a forged dump gets there). computeDominators makes
// them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
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

    void prefetch(uint32_t object) const { __builtin_prefetch(&units_[object]); }
    // The bytes object retains; 0 for an object no root reaches. kVirtualRoot retains
    // every reachable object.
    uint64_t bytes(uint32_t object) const
    {
        if (object == kVirtualRoot)
            return reachableBytes_;
        const uint32_t units = units_[object];
        return (units != kLarge ? units : largeUnits(object)) * kSizeUnit;
    }
    uint64_t memoryBytes() const { return units_.capacity() * sizeof(uint32_t) + large_.capacity() * sizeof(large_[0]); }

private:
    static constexpr uint32_t kLarge = UINT32_MAX;
    static constexpr uint64_t kMost = (uint64_t{1} << 40) - 1;

    uint64_t largeUnits(uint32_t object) const
    {
        const auto found = std::lower_bound(large_.begin(), large_.end(), std::make_pair(object, uint64_t{0}));
        return found != large_.end() && found->first == object ? found->second : 0;
    }

    std::vector<uint32_t> units_;                        // 4 B/object
    std::vector<std::pair<uint32_t, uint64_t>> large_;  // (object, units) of 2^32 - 1 units and more
    uint64_t reachableBytes_ = 0;
};
