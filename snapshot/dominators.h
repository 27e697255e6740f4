// Immediate dominators and retained sizes of every object of the heap graph: object d
// dominates object o when every path from a GC root to o passes through d, so that o
// would be freed with d. A virtual root sits above all GC roots; an object that no single
// object dominates (a GC root, or one that several roots reach apart) has it as its
// immediate dominator.
//
// Only strong references count by default: a Reference's referent (HeapGraph::weakEdges)
// does not keep it alive, so what an object dominates is what the next collections would
// free without it. weakAsStrong counts referents as strong references too, as Eclipse MAT
// does by default.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "heap_graph.h"
#include "retained_sizes.h"
#include "step_costs.h"

// Graphs hold fewer objects than this, so the marks stay apart from object numbers.
constexpr uint32_t kMaxObjects = kVirtualRoot;

struct DominatorOptions {
    bool weakAsStrong = false;
    // From this many objects on, the dominators are placed by object on two threads, each
    // over half the objects (kNoObject: always on one).
    uint32_t twoThreadsFrom = 1u << 16;
    // Work that needs nothing from here, run on a second thread while the semidominators,
    // the longest step on one core, are found.
    std::function<void()> beside;
};

struct Dominators {
    // idom[o]: the immediate dominator of object o; kVirtualRoot when only the virtual
    // root dominates it; kNoObject when no path from a GC root reaches it (it is only
    // weakly reachable, or garbage).
    std::vector<uint32_t> idom;  // 4 B/object
    RetainedSizes retained;      // 4 B/object
    uint32_t reachable = 0;
    uint32_t unreachable = 0;  // objects with no dominator
    uint64_t unreachableBytes = 0;
};

// Throws std::length_error for a graph of kMaxObjects objects or more.
Dominators computeDominators(const HeapGraph& graph, const DominatorOptions& options = {}, StepCosts* costs = nullptr);
