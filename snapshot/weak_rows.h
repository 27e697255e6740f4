// The weak references (a Reference's referent) grouped by holder, for the walks that
// follow them: a bit per object says whether it holds any, so the common object costs one
// test, and a binary search finds a holder's referents.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "bit_set.h"
#include "heap_graph.h"

class WeakRows {
public:
    using Edge = std::pair<uint32_t, uint32_t>;  // (holder, referent)

    WeakRows() = default;
    // References naming objects outside the graph are left out.
    explicit WeakRows(const HeapGraph& graph);

    bool empty() const { return edges_.empty(); }
    bool holds(uint32_t object) const { return !edges_.empty() && holders_.test(object); }
    // The weak references that holder holds, as a range of edges().
    std::pair<uint32_t, uint32_t> rangeOf(uint32_t holder) const;
    const std::vector<Edge>& edges() const { return edges_; }
    uint64_t bytes() const { return edges_.capacity() * sizeof(Edge) + holders_.bytes(); }

private:
    std::vector<Edge> edges_;  // 8 B per weak reference, by holder
    BitSet holders_;           // 1 bit/object
};
