#include "weak_rows.h"

#include <algorithm>

WeakRows::WeakRows(const HeapGraph& graph)
{
    if (graph.weakEdges.empty())
        return;
    edges_.reserve(graph.weakEdges.size());
    for (const Edge& edge : graph.weakEdges) {
        if (edge.first < graph.objects && edge.second < graph.objects)
            edges_.push_back(edge);
    }
    std::sort(edges_.begin(), edges_.end());
    holders_ = BitSet(graph.objects);
    for (const Edge& edge : edges_)
        holders_.set(edge.first);
}

std::pair<uint32_t, uint32_t> WeakRows::rangeOf(uint32_t holder) const
{
    if (!holds(holder))
        return {0, 0};
    const auto first = std::lower_bound(edges_.begin(), edges_.end(), Edge{holder, 0});
    auto last = first;
    while (last != edges_.end() && last->first == holder)
        ++last;
    return {static_cast<uint32_t>(first - edges_.begin()), static_cast<uint32_t>(last - edges_.begin())};
}
