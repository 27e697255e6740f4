#include "accumulation.h"

#include <algorithm>
#include <queue>

namespace {

struct Descent {
    uint32_t point = kNoObject;  // the accumulation point
    uint32_t above = kNoObject;  // the object just above it, when the descent moved
    bool leaf = false;           // it dominates nothing
    bool chain = false;          // it heads a chain or tree of one class
    bool fewBig = false;         // a few of its children hold most of it
};

// At least 4/5: a part that holds most of the whole.
bool most(uint64_t part, uint64_t whole)
{
    return part * 5 >= whole * 4;
}

Descent descend(const HeapGraph& graph, const DominatorTree& tree, uint32_t object)
{
    // Eight of the largest children tell both where to go and whether a few hold most.
    constexpr uint32_t kFew = 8;
    Descent descent;
    uint32_t current = object;
    for (;;) {
        const std::vector<uint32_t> largest = tree.largestChildren(current, kFew);
        if (largest.empty()) {
            descent.leaf = true;
            break;
        }
        const uint32_t biggest = largest[0];
        if (graph.classOf[biggest] == graph.classOf[current]) {
            descent.chain = true;
            break;
        }
        const uint64_t bytes = tree.retainedBytes(current);
        if (!most(tree.retainedBytes(biggest), bytes)) {
            uint64_t top = 0;
            for (const uint32_t child : largest)
                top += tree.retainedBytes(child);
            descent.fewBig = most(top, bytes);
            break;
        }
        descent.above = current;
        current = biggest;
    }
    descent.point = current;
    return descent;
}

// The next child of a group to consider, by its retained size.
struct Cursor {
    uint64_t bytes;
    uint32_t child;
    uint32_t node;
    uint64_t offset;
    bool operator<(const Cursor& other) const
    {
        return bytes != other.bytes ? bytes < other.bytes : child > other.child;
    }
};

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
    std::priority_queue<Cursor> candidates;
    auto follow = [&](uint32_t node, uint64_t offset) {
        const std::vector<uint32_t> next = tree.children(node, offset, 1);
        if (!next.empty())
            candidates.push({tree.retainedBytes(next[0]), next[0], node, offset});
    };
    follow(kVirtualRoot, 0);
    // Candidates come largest first and none reports more than it retains: once one
    // retains less than the smallest of a full list, the list is final.
    while (!candidates.empty()) {
        const Cursor cursor = candidates.top();
        candidates.pop();
        if (found.size() == limit && cursor.bytes < tree.retainedBytes(found.back().object))
            break;
        follow(cursor.node, cursor.offset + 1);

        const Descent descent = descend(graph, tree, cursor.child);
        const uint32_t point = descent.point;
        if (descent.fewBig) {
            follow(point, 0);  // its children take its place
            continue;
        }
        const bool owner = descent.above != kNoObject && !descent.leaf;
        const BigObject big{owner ? descent.above : point, point};
        found.insert(std::upper_bound(found.begin(), found.end(), big, larger), big);
        if (found.size() > limit)
            found.pop_back();
    }
    return found;
}
