// The dominator tree's pages of children, its walk, and the totals per class, against
// brute-force answers on random heap-shaped graphs.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "brute_force.h"
#include "class_totals.h"
#include "dominator_tree.h"
#include "test_graphs.h"

namespace {

DominatorTree treeOf(const HeapGraph& graph, bool weakAsStrong = false)
{
    DominatorOptions options;
    options.weakAsStrong = weakAsStrong;
    Dominators dominators = computeDominators(graph, options);
    return DominatorTree(std::move(dominators.idom), std::move(dominators.retained));
}

// The children of every node, in the order pages must give them, from brute force.
std::vector<std::vector<uint32_t>> expectedChildren(const HeapGraph& graph, const BruteDominators& want)
{
    std::vector<std::vector<uint32_t>> children(graph.objects + 1);  // the last: the virtual root's
    for (uint32_t o = 0; o < graph.objects; ++o) {
        const uint32_t d = want.idom[o];
        if (d != kNoObject)
            children[d == kVirtualRoot ? graph.objects : d].push_back(o);
    }
    for (auto& group : children) {
        std::sort(group.begin(), group.end(), [&](uint32_t a, uint32_t b) {
            return want.retained[a] != want.retained[b] ? want.retained[a] > want.retained[b] : a < b;
        });
    }
    return children;
}

// Reads a group through pages of random sizes asked in random order, each page twice.
std::vector<uint32_t> readInPages(const DominatorTree& tree, uint32_t node, std::mt19937& random)
{
    const uint32_t count = tree.childCount(node);
    std::vector<std::pair<uint32_t, uint32_t>> pages;  // (offset, limit)
    for (uint32_t offset = 0; offset < count;) {
        const uint32_t limit = 1 + random() % 40;
        pages.emplace_back(offset, limit);
        offset += limit;
    }
    std::shuffle(pages.begin(), pages.end(), random);
    std::vector<uint32_t> all(count, kNoObject);
    for (const auto& [offset, limit] : pages) {
        const std::vector<uint32_t> page = tree.children(node, offset, limit);
        EXPECT_EQ(page.size(), std::min(limit, count - offset));
        EXPECT_EQ(tree.children(node, offset, limit), page);
        std::copy(page.begin(), page.end(), all.begin() + offset);
    }
    EXPECT_TRUE(tree.children(node, count, 10).empty());
    return all;
}

}  // namespace

TEST(DominatorTree, PagesOfChildrenAreOrderedAndComplete)
{
    for (const uint32_t number : randomCases(12)) {
        SCOPED_TRACE(describe(number));
        for (const bool weak : {false, true}) {
            const HeapGraph graph = randomHeap(number, 1500);
            const BruteDominators want = bruteDominators(graph, weak);
            const auto expected = expectedChildren(graph, want);
            const DominatorTree tree = treeOf(graph, weak);
            std::mt19937 random(number);
            for (uint32_t node = 0; node <= graph.objects; ++node) {
                const uint32_t asked = node == graph.objects ? kVirtualRoot : node;
                ASSERT_EQ(tree.childCount(asked), expected[node].size()) << "node " << node;
                ASSERT_EQ(readInPages(tree, asked, random), expected[node]) << "node " << node;
                EXPECT_EQ(tree.biggestChild(asked), expected[node].empty() ? kNoObject : expected[node][0]);
            }
        }
    }
}

TEST(DominatorTree, LargeGroupsPageInOrder)
{
    // A root holding a million objects of repeating sizes, some with children of their
    // own, and one holding 80,000: the first too large for a copy of its sizes (it is the
    // whole heap), the second cut on such a copy. Pages from the front, the middle and
    // the end, then pages of random sizes at random places, some across the stretches
    // earlier pages put in order.
    GraphBuilder g;
    std::vector<std::pair<uint32_t, uint32_t>> groups;  // (holder, children)
    for (const uint32_t n : {1000000u, 80000u}) {
        const uint32_t top = g.add(2);
        g.root(top);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t child = g.add(1 + (i * 7919u) % 1000);
            g.ref(top, child);
            if (i % 1000 == 0)
                g.ref(child, g.add(5000));
        }
        groups.emplace_back(top, n);
    }
    const HeapGraph graph = g.build();
    const DominatorTree tree = treeOf(graph);
    auto orderedPair = [&tree](uint32_t a, uint32_t b) {
        const uint64_t ra = tree.retainedBytes(a), rb = tree.retainedBytes(b);
        return ra > rb || (ra == rb && a < b);
    };
    std::mt19937 random(17);
    for (const auto& [top, n] : groups) {
        ASSERT_EQ(tree.childCount(top), n);
        std::vector<uint32_t> sorted(graph.targets.begin() + graph.firstEdge[top],
            graph.targets.begin() + graph.firstEdge[top] + n);
        std::sort(sorted.begin(), sorted.end(), orderedPair);
        EXPECT_EQ(tree.biggestChild(top), sorted[0]);
        std::vector<std::pair<uint64_t, uint32_t>> pages{{0, 50}, {100, 50}, {n / 2, 50}, {n - 10, 50}, {20, 50},
            {n / 4, 50}, {4000, 200}, {n / 2 - 2000, 9000}, {n - 1000, 5000}};
        for (int i = 0; i < 40; ++i)
            pages.emplace_back(random() % n, 1 + random() % (i % 4 == 0 ? 20000 : 100));
        for (const auto& [offset, limit] : pages) {
            const std::vector<uint32_t> page = tree.children(top, offset, limit);
            const std::vector<uint32_t> want(sorted.begin() + offset, sorted.begin() + std::min<uint64_t>(n, offset + limit));
            ASSERT_EQ(page, want) << "group of " << n << ", offset " << offset << " limit " << limit;
        }
        EXPECT_EQ(tree.largestChildren(top, 5), std::vector<uint32_t>(sorted.begin(), sorted.begin() + 5));
    }
}

TEST(DominatorTree, WalkEntersEachObjectOnceBelowItsDominator)
{
    const HeapGraph graph = randomHeap(7, 3000);
    const DominatorTree tree = treeOf(graph);
    std::vector<uint32_t> path;  // the objects entered and not yet left
    std::vector<char> seen(graph.objects, 0);
    uint32_t entered = 0;
    tree.walk(
        [&](uint32_t object) {
            ASSERT_FALSE(seen[object]);
            seen[object] = 1;
            ++entered;
            const uint32_t above = path.empty() ? kVirtualRoot : path.back();
            EXPECT_EQ(tree.dominatorOf(object), above);
            path.push_back(object);
        },
        [&](uint32_t object) {
            ASSERT_FALSE(path.empty());
            EXPECT_EQ(path.back(), object);
            path.pop_back();
        });
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(entered, tree.reachable());
    // The walk keeps a cursor per object that dominates another.
    std::vector<char> dominates(graph.objects, 0);
    for (uint32_t o = 0; o < graph.objects; ++o) {
        const uint32_t d = tree.dominatorOf(o);
        if (d != kVirtualRoot && d != kNoObject)
            dominates[d] = 1;
    }
    EXPECT_EQ(tree.dominating(), static_cast<uint32_t>(std::count(dominates.begin(), dominates.end(), 1)));
}

TEST(ClassTotals, MatchBruteForce)
{
    for (const uint32_t number : randomCases(12)) {
        SCOPED_TRACE(describe(number));
        for (const bool weak : {false, true}) {
            const HeapGraph graph = randomHeap(number, 1200);
            const BruteDominators want = bruteDominators(graph, weak);
            const ClassTotals totals = totalsByClass(graph, treeOf(graph, weak));
            ASSERT_EQ(totals.retainedBytes.size(), want.classRetained.size());
            for (size_t c = 0; c < want.classRetained.size(); ++c) {
                EXPECT_EQ(totals.retainedBytes[c], want.classRetained[c]) << "class " << c;
                uint64_t objects = 0, bytes = 0;
                for (uint32_t o = 0; o < graph.objects; ++o) {
                    if (graph.classOf[o] == c) {
                        ++objects;
                        bytes += graph.shallowSize(o);
                    }
                }
                EXPECT_EQ(totals.objects[c], objects) << "class " << c;
                EXPECT_EQ(totals.shallowBytes[c], bytes) << "class " << c;
            }
        }
    }
}

TEST(ClassTotals, NestedInstancesCountOnce)
{
    // A list of nodes of class 1, each holding a payload of class 2: the nodes retain
    // the rest of the list, which counts once for their class, not once per node.
    GraphBuilder g;
    const uint32_t root = g.add(1, 0);
    g.root(root);
    uint32_t previous = root;
    for (int i = 0; i < 10; ++i) {
        const uint32_t node = g.add(2, 1);
        g.ref(previous, node);
        g.ref(node, g.add(3, 2));
        previous = node;
    }
    const HeapGraph graph = g.build();
    const ClassTotals totals = totalsByClass(graph, treeOf(graph));
    EXPECT_EQ(totals.retainedBytes[1], 10 * (2 + 3) * kSizeUnit);  // not the sum over the chain
    EXPECT_EQ(totals.retainedBytes[2], 10 * 3 * kSizeUnit);
    EXPECT_EQ(totals.retainedBytes[0], (1 + 10 * 5) * kSizeUnit);
}
