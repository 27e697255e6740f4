#include "graph_check.h"

#include <algorithm>

#include "dominators.h"

std::string graphFault(const HeapGraph& graph)
{
    const uint64_t n = graph.objects;
    if (n >= kMaxObjects)
        return "too many objects: " + std::to_string(n);
    if (graph.sizeUnits.size() != n || graph.classOf.size() != n)
        return "sizes or classes not one per object";
    if (graph.firstEdge.size() != n + 1 || graph.firstEdge.front() != 0 || graph.firstEdge.back() != graph.targets.size())
        return "rows do not cover the references";
    if (!std::is_sorted(graph.firstEdge.begin(), graph.firstEdge.end()))
        return "rows out of order";
    // Blocks of a fixed length that the compiler turns into vector compares; the culprit
    // is looked for only in a block that has one.
    constexpr uint32_t kBlock = 64;
    const uint32_t* targets = graph.targets.data();
    const uint64_t count = graph.targets.size();
    for (uint64_t start = 0; start < count; start += kBlock) {
        uint32_t outside = 0;
        if (start + kBlock <= count) {
            for (uint32_t i = 0; i < kBlock; ++i)
                outside |= targets[start + i] >= n;
            if (outside == 0)
                continue;
        }
        for (uint64_t e = start; e < std::min(count, start + kBlock); ++e) {
            if (targets[e] >= n)
                return "reference " + std::to_string(e) + " names object " + std::to_string(targets[e]) + " of "
                    + std::to_string(n);
        }
    }
    // Roots, weak references and class objects outside the graph are passed over by the
    // algorithms; nothing to check there.
    return {};
}
