// Immediate dominators of every object of the heap graph: object d dominates object o when
// every path from a GC root to o passes through d, so that o would be freed with d. A
// virtual root sits above all GC roots; an object that no single object dominates (a GC
// root, or one that several roots reach apart) has it as its immediate dominator.
//
// Only strong references count by default: a Reference's referent (HeapGraph::weakEdges)
// does not keep it alive, so what an object dominates is what the next collections would
// free without it. weakAsStrong counts referents as strong references too, as Eclipse MAT
// does by default.
#pragma once

#include <cstdint>
#include <vector>

#include "heap_graph.h"
#include "step_costs.h"

// The immediate dominator of an object that only the virtual root above all GC roots
// dominates. An object no path from a root reaches has kNoObject instead.
constexpr uint32_t kVirtualRoot = UINT32_MAX - 1;
// Graphs hold fewer objects than this, so both marks stay apart from object numbers.
constexpr uint32_t kMaxObjects = kVirtualRoot;

struct DominatorOptions {
    bool weakAsStrong = false;
};

struct Dominators {
    // idom[o]: the immediate dominator of object o, kVirtualRoot, or kNoObject when no
    // path from a GC root reaches o (it is only weakly reachable, or garbage).
    std::vector<uint32_t> idom;  // 4 B/object
    // The reachable objects in depth-first preorder from the roots. Every object comes
    // after its immediate dominator, so sums over the dominator tree take one backward
    // pass; the caller frees it when done with such sums.
    std::vector<uint32_t> preorder;  // 4 B per reachable object
    uint32_t reachable = 0;
    uint32_t unreachable = 0;  // objects with no dominator
    uint64_t unreachableBytes = 0;
};

// Throws std::length_error for a graph of kMaxObjects objects or more.
Dominators computeDominators(const HeapGraph& graph, const DominatorOptions& options = {}, StepCosts* costs = nullptr);
