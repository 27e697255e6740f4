// Per class number (HeapGraph::classOf): objects, shallow bytes, and retained bytes.
//
// A class's retained bytes are what its instances dominate between them: the sum of the
// retained sizes of the instances that no other instance of the same class dominates, so
// that nested instances (a node under a node, a map inside a map) count once. One walk
// of the dominator tree finds them all, counting on the way down how many instances of
// each class are above. An object that two instances keep alive only together is not
// counted: the figure is what freeing every instance would free at least.
#pragma once

#include <cstdint>
#include <vector>

#include "dominator_tree.h"
#include "heap_graph.h"

struct ClassTotals {
    // Indexed by class number; every object of the graph counts in objects and
    // shallowBytes, reachable or not, as in the VM's class histogram.
    std::vector<uint64_t> objects;
    std::vector<uint64_t> shallowBytes;
    std::vector<uint64_t> retainedBytes;
};

ClassTotals totalsByClass(const HeapGraph& graph, const DominatorTree& tree);

// The same in two parts: the counts and shallow bytes need only the graph, so they can be
// done while the dominators are still being computed.
ClassTotals shallowTotalsByClass(const HeapGraph& graph);
void addRetainedByClass(const HeapGraph& graph, const DominatorTree& tree, ClassTotals& totals);
