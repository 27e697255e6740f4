#include "brute_force.h"

#include <algorithm>
#include <deque>

#include "dominators.h"

std::vector<std::vector<uint32_t>> adjacency(const HeapGraph& graph, bool withWeak)
{
    std::vector<std::vector<uint32_t>> out(graph.objects);
    for (uint32_t o = 0; o < graph.objects; ++o) {
        if (!graph.classObject.empty() && graph.classOf[o] < graph.classObject.size()
            && graph.classObject[graph.classOf[o]] != kNoObject)
            out[o].push_back(graph.classObject[graph.classOf[o]]);
        out[o].insert(out[o].end(), graph.targets.begin() + graph.firstEdge[o], graph.targets.begin() + graph.firstEdge[o + 1]);
    }
    if (withWeak) {
        for (const auto& edge : graph.weakEdges)
            out[edge.first].push_back(edge.second);
    }
    return out;
}

std::vector<char> reachableWithout(const HeapGraph& graph, const std::vector<std::vector<uint32_t>>& out,
    uint32_t removed)
{
    std::vector<char> seen(graph.objects, 0);
    std::vector<uint32_t> stack;
    for (const uint32_t root : graph.roots) {
        if (root != removed && !seen[root]) {
            seen[root] = 1;
            stack.push_back(root);
        }
    }
    while (!stack.empty()) {
        const uint32_t o = stack.back();
        stack.pop_back();
        for (const uint32_t t : out[o]) {
            if (t != removed && !seen[t]) {
                seen[t] = 1;
                stack.push_back(t);
            }
        }
    }
    return seen;
}

BruteDominators bruteDominators(const HeapGraph& graph, bool weakAsStrong)
{
    const uint32_t n = graph.objects;
    const auto out = adjacency(graph, weakAsStrong);
    const std::vector<char> all = reachableWithout(graph, out, kNoObject);
    uint32_t classes = 0;
    for (const uint32_t c : graph.classOf)
        classes = std::max(classes, c + 1);

    BruteDominators result;
    result.idom.assign(n, kNoObject);
    result.retained.assign(n, 0);
    result.classRetained.assign(classes, 0);
    std::vector<uint64_t> smallest(n, UINT64_MAX);  // the smallest retained set holding v
    std::vector<std::vector<char>> byClass(classes, std::vector<char>(n, 0));
    for (uint32_t v = 0; v < n; ++v) {
        if (!all[v])
            ++result.unreachable;
        else
            result.idom[v] = kVirtualRoot;
    }
    for (uint32_t d = 0; d < n; ++d) {
        if (!all[d])
            continue;
        const std::vector<char> without = reachableWithout(graph, out, d);
        std::vector<uint32_t> retainedSet;
        for (uint32_t v = 0; v < n; ++v) {
            if (all[v] && !without[v]) {
                retainedSet.push_back(v);
                result.retained[d] += graph.shallowSize(v);
                byClass[graph.classOf[d]][v] = 1;
            }
        }
        for (const uint32_t v : retainedSet) {
            if (v != d && retainedSet.size() < smallest[v]) {
                smallest[v] = retainedSet.size();
                result.idom[v] = d;
            }
        }
    }
    for (uint32_t c = 0; c < classes; ++c) {
        for (uint32_t v = 0; v < n; ++v) {
            if (byClass[c][v])
                result.classRetained[c] += graph.shallowSize(v);
        }
    }
    return result;
}

std::vector<uint32_t> strongDistances(const HeapGraph& graph)
{
    const auto out = adjacency(graph, false);
    std::vector<uint32_t> distance(graph.objects, kNoObject);
    std::deque<uint32_t> queue;
    for (const uint32_t root : graph.roots) {
        if (distance[root] == kNoObject) {
            distance[root] = 0;
            queue.push_back(root);
        }
    }
    while (!queue.empty()) {
        const uint32_t o = queue.front();
        queue.pop_front();
        for (const uint32_t t : out[o]) {
            if (distance[t] == kNoObject) {
                distance[t] = distance[o] + 1;
                queue.push_back(t);
            }
        }
    }
    return distance;
}

std::vector<uint32_t> anyDistances(const HeapGraph& graph)
{
    const std::vector<uint32_t> strong = strongDistances(graph);
    const auto out = adjacency(graph, true);
    std::vector<uint32_t> distance = strong;
    // Relax every reference until nothing changes; strongly reachable objects stay put.
    for (bool changed = true; changed;) {
        changed = false;
        for (uint32_t o = 0; o < graph.objects; ++o) {
            if (distance[o] == kNoObject)
                continue;
            for (const uint32_t t : out[o]) {
                if (strong[t] == kNoObject && distance[o] + 1 < distance[t]) {
                    distance[t] = distance[o] + 1;
                    changed = true;
                }
            }
        }
    }
    return distance;
}
