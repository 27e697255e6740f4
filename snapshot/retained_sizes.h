// Retained sizes: the shallow sizes of an object and of every object it dominates, which
// is what the next collections would free if nothing referred to the object any more.
// Totals are 64-bit figures stored in 40 bits of 8-byte units (up to 8 TiB), so that they
// take 5 bytes per object instead of 8.
#pragma once

#include <cstdint>
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
        return ((uint64_t{high_[object]} << 32) | low_[object]) * kSizeUnit;
    }
    uint64_t memoryBytes() const { return low_.capacity() * 4 + high_.capacity(); }

private:
    uint64_t units(uint32_t object) const { return (uint64_t{high_[object]} << 32) | low_[object]; }
    void setUnits(uint32_t object, uint64_t units);

    std::vector<uint32_t> low_;  // 4 B/object: retained size in kSizeUnit units, low 32 bits
    std::vector<uint8_t> high_;  // 1 B/object: the next 8 bits
    uint64_t reachableBytes_ = 0;
};
