// Answers computed the slow, obvious way from their definitions, to check the snapshot
// algorithms against on small graphs.
#pragma once

#include <cstdint>
#include <vector>

#include "heap_graph.h"

// Outgoing references per object, its class first when the rows leave that out, weak
// ones included when asked.
std::vector<std::vector<uint32_t>> adjacency(const HeapGraph& graph, bool withWeak);

// Which objects the roots reach without passing through removed (kNoObject: none removed).
std::vector<char> reachableWithout(const HeapGraph& graph, const std::vector<std::vector<uint32_t>>& out,
    uint32_t removed);

struct BruteDominators {
    std::vector<uint32_t> idom;         // kVirtualRoot / kNoObject as the library marks them
    std::vector<uint64_t> retained;     // bytes; 0 when unreachable
    std::vector<uint64_t> classRetained;  // bytes dominated by some instance of each class
    uint32_t unreachable = 0;
};

// Object d's retained set: what is reachable, but no longer once d is removed. The
// immediate dominator of v: the object other than v whose retained set holds v and is
// the smallest such (those sets nest).
BruteDominators bruteDominators(const HeapGraph& graph, bool weakAsStrong);

// Distances from the roots: strong references only; then, for what no strong path
// reaches, any reference, strongly reachable objects keeping their strong distance.
// kNoObject where no path reaches.
std::vector<uint32_t> strongDistances(const HeapGraph& graph);
std::vector<uint32_t> anyDistances(const HeapGraph& graph);
