// The shortest path from a GC root to any object, answered at once: a breadth-first search
// from all roots together keeps each object's parent on its path (4 B per object), and a
// path is read off by following parents.
//
// An object no strong path reaches gets, when one exists, a path that crosses weak
// references (a Reference's referent): the search goes on from the strongly reachable
// objects, each at its strong distance, through referents and then any reference. Such a
// path is the shortest among those that take strongly reachable objects along their own
// strong paths. Paths do not depend on whether dominators count referents.
#pragma once

#include <cstdint>
#include <vector>

#include "heap_graph.h"
#include "step_costs.h"

enum class PathKind { strong, weak, none };

struct PathStep {
    uint32_t object = kNoObject;
    // How the previous step's object refers to this one: an index into graph.targets,
    // kClassEdge for its reference to its class when the rows leave that out, or an index
    // into graph.weakEdges when weak. kNoObject for the first step, the GC root.
    uint32_t edge = kNoObject;
    bool weak = false;
};

struct RootPath {
    PathKind kind = PathKind::none;
    std::vector<PathStep> steps;  // from a GC root to the object asked for
};

class RootPaths {
public:
    RootPaths() = default;
    explicit RootPaths(const HeapGraph& graph, StepCosts* costs = nullptr);

    RootPath pathTo(const HeapGraph& graph, uint32_t object) const;
    uint64_t memoryBytes() const { return parent_.capacity() * 4; }

private:
    // The object before each one on its path; kVirtualRoot (dominators.h) for a GC root,
    // kNoObject for an object no path reaches.
    std::vector<uint32_t> parent_;  // 4 B/object
};
