// The heap as a graph: objects numbered densely 0..objects-1, each one's shallow size and
// class, its outgoing references in compressed sparse rows, and the GC roots. The reader
// builds it from a heap dump; the dominator and path algorithms read it and know nothing
// of HPROF. Bytes per object are written beside each array so the memory budget can be
// read off the declarations.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "class_numbers.h"
#include "size_units.h"

// Shallow sizes are kept in units of 8 bytes: every HotSpot object is 8-aligned, and a
// 32-bit count of units reaches 32 GiB, more than the largest Java array.
constexpr uint64_t kSizeUnit = 8;
constexpr uint32_t kNoObject = UINT32_MAX;
// In the algorithms' answers: the virtual root above all GC roots, which dominates every
// object and is the parent of each root on its path. Graphs hold fewer objects than this.
constexpr uint32_t kVirtualRoot = UINT32_MAX - 1;
// Where an edge is named by its index in targets, this names instead an object's
// reference to its class when the rows leave it out (see HeapGraph::classObject).
constexpr uint32_t kClassEdge = UINT32_MAX - 2;

struct HeapGraph {
    uint32_t objects = 0;

    SizeUnits sizeUnits;              // 2 B/object: shallow size / kSizeUnit
    ClassNumbers classOf;             // 2 B/object: the class's number in the reader's class table

    // The strong references of object i are targets[firstEdge[i] .. firstEdge[i + 1]).
    std::vector<uint32_t> firstEdge;  // 4 B/object (+1 entry)
    std::vector<uint32_t> targets;    // 4 B/reference

    // References that do not keep their target alive: a java.lang.ref.Reference's
    // referent, as (holder, referent). Few, so kept apart from the strong rows.
    std::vector<std::pair<uint32_t, uint32_t>> weakEdges;

    // Objects some GC root holds, each once; the kinds of root live in the reader's index.
    std::vector<uint32_t> roots;

    // Optional. When filled, the rows leave out every object's reference to its class and
    // the graph algorithms follow classObject[classOf[i]] as object i's first reference:
    // the java.lang.Class object of each class number, kNoObject for a class with none in
    // the graph. Every object has that reference, so keeping it implicit saves 4 B/object.
    std::vector<uint32_t> classObject;  // per class

    uint64_t shallowSize(uint32_t object) const { return uint64_t{sizeUnits[object]} * kSizeUnit; }
    uint32_t edgeCount() const { return static_cast<uint32_t>(targets.size()); }
    // Object i's reference to its class when the rows leave it out, else kNoObject.
    uint32_t classEdge(uint32_t object) const
    {
        if (classObject.empty())
            return kNoObject;
        const uint32_t number = classOf[object];
        const uint32_t target = number < classObject.size() ? classObject[number] : kNoObject;
        return target < objects ? target : kNoObject;
    }
};
