#include "root_paths.h"

#include <algorithm>

#include "bit_set.h"
#include "chunked_array.h"
#include "dominators.h"
#include "large_arrays.h"
#include "weak_rows.h"

namespace {

// A referent met during the strong search: reachable at depth through holder, unless a
// strong path turns up for it too.
struct WeakStart {
    uint32_t referent;
    uint32_t holder;
    uint32_t depth;
};

}  // namespace

RootPaths::RootPaths(const HeapGraph& graph, StepCosts* costs)
{
    StepClock clock(costs);
    const uint32_t n = graph.objects;
    assignLarge(parent_, n, kNoObject);
    // Each object once, strong ones first; the chunks already searched are given back, so
    // it holds little more than the widest layer of the search (3M of the 10M objects of
    // the benchmark's server heap) while the dominator tree and the totals by class are
    // built beside it.
    ChunkedArray<uint32_t> queue;
    size_t released = 0, mostChunks = 0;
    auto take = [&](size_t head) {
        if ((head & (ChunkedArray<uint32_t>::kChunkSize - 1)) == 0 && head > 0) {
            mostChunks = std::max(mostChunks, queue.chunkCount() - released);
            queue.release(released++);
        }
        return queue[head];
    };
    const WeakRows weak(graph);
    std::vector<WeakStart> starts;  // 12 B per weak reference at most

    BitSet reached(n);  // 1 bit/object: tested per reference, where parent_ would miss the cache
    auto reach = [&](uint32_t object, uint32_t from) {
        if (reached.test(object))
            return;
        reached.set(object);
        parent_[object] = from;
        queue.push_back(object);
    };
    auto reachStrong = [&](uint32_t object) {
        const uint32_t classTarget = graph.classEdge(object);
        if (classTarget != kNoObject)
            reach(classTarget, object);
        for (uint32_t e = graph.firstEdge[object], end = graph.firstEdge[object + 1]; e < end; ++e)
            reach(graph.targets[e], object);
    };
    for (const uint32_t root : graph.roots) {
        if (root < n)
            reach(root, kVirtualRoot);
    }

    // Strong references only, a layer of depth at a time.
    uint32_t depth = 0;
    size_t layerEnd = queue.size();
    for (size_t head = 0; head < queue.size(); ++head) {
        if (head == layerEnd) {
            ++depth;
            layerEnd = queue.size();
        }
        const uint32_t object = take(head);
        reachStrong(object);
        if (weak.holds(object)) {
            const auto range = weak.rangeOf(object);
            for (uint32_t i = range.first; i < range.second; ++i) {
                const uint32_t referent = weak.edges()[i].second;
                if (!reached.test(referent))
                    starts.push_back({referent, object, depth + 1});
            }
        }
    }

    // Then through referents too, from those starts in order of depth (the strong search met
    // them so), merged layer by layer with what they lead to.
    size_t next = 0;
    size_t head = queue.size();
    depth = 0;
    for (;;) {
        if (head == queue.size()) {
            if (next == starts.size())
                break;
            depth = starts[next].depth;
        }
        for (; next < starts.size() && starts[next].depth == depth; ++next)
            reach(starts[next].referent, starts[next].holder);
        for (const size_t end = queue.size(); head < end; ++head) {
            const uint32_t object = take(head);
            reachStrong(object);
            const auto range = weak.rangeOf(object);
            for (uint32_t i = range.first; i < range.second; ++i)
                reach(weak.edges()[i].second, object);
        }
        ++depth;
    }
    mostChunks = std::max(mostChunks, queue.chunkCount() - released);
    clock.done("paths from the roots", bytesOf(parent_) + mostChunks * ChunkedArray<uint32_t>::kChunkSize * 4
        + reached.bytes() + weak.bytes() + bytesOf(starts));
}

RootPath RootPaths::pathTo(const HeapGraph& graph, uint32_t object) const
{
    RootPath path;
    if (object >= parent_.size() || parent_[object] == kNoObject)
        return path;
    for (uint32_t at = object; at != kVirtualRoot; at = parent_[at])
        path.steps.push_back({at, kNoObject, false});
    std::reverse(path.steps.begin(), path.steps.end());

    path.kind = PathKind::strong;
    for (size_t i = 1; i < path.steps.size(); ++i) {
        const uint32_t from = path.steps[i - 1].object;
        PathStep& step = path.steps[i];
        if (graph.classEdge(from) == step.object) {
            step.edge = kClassEdge;
            continue;
        }
        for (uint32_t e = graph.firstEdge[from], end = graph.firstEdge[from + 1]; e < end; ++e) {
            if (graph.targets[e] == step.object) {
                step.edge = e;
                break;
            }
        }
        if (step.edge != kNoObject)
            continue;
        for (size_t w = 0; w < graph.weakEdges.size(); ++w) {
            if (graph.weakEdges[w] == std::make_pair(from, step.object)) {
                step.edge = static_cast<uint32_t>(w);
                step.weak = true;
                path.kind = PathKind::weak;
                break;
            }
        }
    }
    return path;
}
