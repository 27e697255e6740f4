// Where an object's memory accumulates, and the biggest objects of the heap: the places a
// person looks first when asking what holds the memory.
//
// Accumulation point: from an object, descend to its largest dominated child while that
// child retains at least 80% of what its parent retains and is not of the parent's class.
// Where this stops, the memory is spread over many children (a map's table), held by the
// object itself (a large array), held along a chain or tree of one class (a linked
// list's first node, a tree map's root entry), or split among a few big children.
//
// Biggest objects: the candidates start as the objects at the top of the dominator tree
// (only the virtual root dominates them), largest first. Each is followed down as above
// to its accumulation point A, then:
//  - when a few of A's children (eight at most) hold 80% of it, A only holds a few big
//    things (a class whose statics hold several stores): A's children become candidates
//    in its place;
//  - otherwise the object reported is the one just above A when the descent moved and A
//    has children (the map above its table, the list above its first node), else A
//    itself (a large array, or a top-level object whose memory is spread).
// So a class object, a class loader or a thread that holds mainly one map shows that map,
// and the map's table is its accumulation point. No object reported holds another.

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
