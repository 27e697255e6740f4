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
    // The largest target first: a loop the compiler vectorises, then the culprit if any.
    uint32_t largest = 0;
    for (const uint32_t target : graph.targets)
        largest = std::max(largest, target);
    if (!graph.targets.empty() && largest >= n) {
        const auto at = std::find_if(graph.targets.begin(), graph.targets.end(), [n](uint32_t t) { return t >= n; });
        return "reference " + std::to_string(at - graph.targets.begin()) + " names object " + std::to_string(*at)
            + " of " + std::to_string(n);
    }
    // Roots, weak references and class objects outside the graph are passed over by the
    // algorithms; nothing to check there.
    return {};
}
