// Where an object's memory accumulates, and the biggest objects of the heap: the places a
// person looks first when asking what holds the memory.
//
// Accumulation point: from an object, descend to its largest dominated child while that
// child retains at least 80% of what its parent retains and is not of the parent's class.
// Where this stops, the memory is spread over many children (a map's table), held by the
// object itself (a large array), or held along a chain of one class (a linked list's first
// node, a tree map's root entry): that object is the accumulation point.
//
// Biggest objects: each object at the top of the dominator tree (only the virtual root
// dominates it) stands for the object found by the same descent. When the descent went
// down at least one level and ended on memory spread over children that each hold less
// than 20% of it, or on a chain of one class, the object reported is the one just above
// the accumulation point (the map above its table, the list above its first node);
// otherwise the accumulation point itself (a large array; a class whose statics hold
// several big things). So a class object, a class loader or a thread that holds mainly
// one map shows that map, and its accumulation point is the map's table.
#pragma once

#include <cstdint>
#include <vector>

#include "dominator_tree.h"
#include "heap_graph.h"

uint32_t accumulationPoint(const HeapGraph& graph, const DominatorTree& tree, uint32_t object);

struct BigObject {
    uint32_t object = kNoObject;        // the object reported
    uint32_t accumulation = kNoObject;  // its accumulation point (may be itself)
};

// The limit biggest objects by retained size, largest first (ties by object number).
std::vector<BigObject> biggestObjects(const HeapGraph& graph, const DominatorTree& tree, uint32_t limit);
