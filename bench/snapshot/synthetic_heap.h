// Heap graphs of a chosen number of objects in the shapes of a server's heap, written
// straight into HeapGraph's arrays (two passes: count, then fill exactly, so the
// generator holds no more than the graph): a big HashMap of sessions with strings, byte
// arrays, carts and event lists; sample arrays and large byte blocks; a tree map with
// parent links; a long singly linked queue and a doubly linked list; a WeakHashMap whose
// keys are mostly only weakly reachable and a cache of soft references; thread objects,
// system classes and JNI globals as roots, some of them holding sessions in use; classes
// reached through their loader; every object referring to its class, in the rows or
// through HeapGraph::classObject; and some garbage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "heap_graph.h"

struct SyntheticHeap {
    HeapGraph graph;
    // Objects of note, to ask queries about.
    uint32_t sessionMap = kNoObject;
    uint32_t sessionTable = kNoObject;
    uint32_t queueHead = kNoObject;  // the first node of a singly linked queue
    uint32_t queueLength = 0;        // its nodes, 3 objects apart
    uint32_t mainClass = kNoObject;
    std::vector<std::string> classNames;  // by class number
};

// implicitClassReferences: leave each object's reference to its class out of the rows.
SyntheticHeap makeSyntheticHeap(uint32_t objects, bool implicitClassReferences);
