#include "referrers.h"

#include <algorithm>

namespace {

constexpr uint32_t kBlock = 64;

// Whether any of the block's targets is object: a branch-free loop the compiler vectorises.
bool blockHolds(const uint32_t* targets, uint32_t count, uint32_t object)
{
    uint32_t hits = 0;
    for (uint32_t i = 0; i < count; ++i)
        hits |= targets[i] == object;
    return hits != 0;
}

}  // namespace

std::vector<Referrer> referrersOf(const HeapGraph& graph, uint32_t object)
{
    std::vector<Referrer> found;
    if (object >= graph.objects)
        return found;
    const uint32_t* targets = graph.targets.data();
    const uint32_t edges = graph.edgeCount();
    for (uint32_t start = 0; start < edges; start += kBlock) {
        const uint32_t count = std::min(kBlock, edges - start);
        if (!blockHolds(targets + start, count, object))
            continue;
        for (uint32_t e = start; e < start + count; ++e) {
            if (targets[e] != object)
                continue;
            // The row holding edge e: the last object whose first edge is at or before it.
            const auto row = std::upper_bound(graph.firstEdge.begin(), graph.firstEdge.begin() + graph.objects, e);
            found.push_back({static_cast<uint32_t>(row - graph.firstEdge.begin() - 1), e, false});
        }
    }
    for (size_t w = 0; w < graph.weakEdges.size(); ++w) {
        if (graph.weakEdges[w].second == object && graph.weakEdges[w].first < graph.objects)
            found.push_back({graph.weakEdges[w].first, static_cast<uint32_t>(w), true});
    }
    return found;
}
