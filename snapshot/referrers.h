// Every referrer of an object, found from the forward references alone: a scan of all
// reference targets, in blocks that the compiler can test many at a time, then the
// holder of each hit by a search over the rows; for a class object whose instances'
// references the rows leave out, a scan of the objects' classes. No reverse index is
// kept, so it costs no memory per object.
#pragma once

#include <cstdint>
#include <vector>

#include "heap_graph.h"

struct Referrer {
    uint32_t holder = kNoObject;
    // The reference: an index into graph.targets, kClassEdge for the holder's reference
    // to its class when the rows leave that out, or an index into graph.weakEdges when weak.
    uint32_t edge = kNoObject;
    bool weak = false;
};

struct ReferrerList {
    std::vector<Referrer> first;  // the first limit, as below
    uint64_t total = 0;           // all of them
};

// Strong references first, by holder and in row order, then weak ones. An object that
// refers to it through several fields is listed once per field. Past limit they are only
// counted, which spares finding their holders (a class object has as many referrers as
// instances).
ReferrerList referrersOf(const HeapGraph& graph, uint32_t object, uint32_t limit = UINT32_MAX);
