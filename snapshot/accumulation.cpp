#include "accumulation.h"

#include <algorithm>

namespace {

struct Descent {
    uint32_t point = kNoObject;  // the accumulation point
    uint32_t above = kNoObject;  // the object just above it, when the descent moved
    bool spread = false;         // its memory lies in small children or a chain of one class
};

// Shares as ratios of whole numbers: at least 4/5 to descend, under 1/5 to count as spread.
bool dominant(uint64_t child, uint64_t parent)
{
    return child * 5 >= parent * 4;
}

bool small(uint64_t child, uint64_t parent)
{
    return child * 5 < parent;
}

Descent descend(const HeapGraph& graph, const DominatorTree& tree, uint32_t object)
{
    Descent descent;
    uint32_t current = object;
    for (;;) {
        const uint32_t biggest = tree.biggestChild(current);
        if (biggest == kNoObject)
            break;
        const uint64_t parentBytes = tree.retainedBytes(current);
        const uint64_t childBytes = tree.retainedBytes(biggest);
        if (!dominant(childBytes, parentBytes)) {
            descent.spread = small(childBytes, parentBytes);
            break;
        }
        if (graph.classOf[biggest] == graph.classOf[current]) {
            descent.spread = true;
            break;
        }
        descent.above = current;
        current = biggest;
    }
    descent.point = current;
    return descent;
}

}  // namespace

uint32_t accumulationPoint(const HeapGraph& graph, const DominatorTree& tree, uint32_t object)
{
    return descend(graph, tree, object).point;
}

std::vector<BigObject> biggestObjects(const HeapGraph& graph, const DominatorTree& tree, uint32_t limit)
{
    std::vector<BigObject> found;
    if (limit == 0)
        return found;
    auto larger = [&tree](const BigObject& a, const BigObject& b) {
        const uint64_t ra = tree.retainedBytes(a.object), rb = tree.retainedBytes(b.object);
        return ra != rb ? ra > rb : a.object < b.object;
    };
    // The top-level objects come largest first, and none reports more than it retains:
    // once one retains less than the smallest of a full list, the list is final.
    constexpr uint32_t kPage = 64;
    for (uint64_t offset = 0;; offset += kPage) {
        const std::vector<uint32_t> tops = tree.children(kVirtualRoot, offset, kPage);
        for (const uint32_t top : tops) {
            if (found.size() == limit && tree.retainedBytes(top) < tree.retainedBytes(found.back().object))
                return found;
            const Descent descent = descend(graph, tree, top);
            const bool owner = descent.above != kNoObject && descent.spread;
            const BigObject big{owner ? descent.above : descent.point, descent.point};
            found.insert(std::upper_bound(found.begin(), found.end(), big, larger), big);
            if (found.size() > limit)
                found.pop_back();
        }
        if (tops.size() < kPage)
            return found;
    }
}
