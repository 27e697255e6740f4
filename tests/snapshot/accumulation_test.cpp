// Accumulation points and the biggest objects, on graphs shaped like the heaps they are
// meant for: a class whose static map holds the memory, a linked list, a large array, a
// class holding two big maps.
#include <gtest/gtest.h>

#include "accumulation.h"
#include "test_graphs.h"

namespace {

enum Class : uint32_t { kClassObject, kMap, kTable, kEntry, kValue, kArray, kListNode, kList, kThread, kOther };

struct Heap {
    GraphBuilder g;
    // A map of entries: map -> table -> entries -> values of valueUnits each.
    uint32_t map(uint32_t entries, uint32_t valueUnits)
    {
        const uint32_t map = g.add(6, kMap);
        const uint32_t table = g.add(2 + entries / 2, kTable);
        g.ref(map, table);
        for (uint32_t i = 0; i < entries; ++i) {
            const uint32_t entry = g.add(4, kEntry);
            g.ref(table, entry);
            g.ref(entry, g.add(valueUnits, kValue));
        }
        return map;
    }
};

struct Analysed {
    HeapGraph graph;
    DominatorTree tree;
};

Analysed analyse(const GraphBuilder& builder)
{
    Analysed a{builder.build(), {}};
    Dominators dominators = computeDominators(a.graph);
    a.tree = DominatorTree(std::move(dominators.idom), std::move(dominators.retained));
    return a;
}

}  // namespace

TEST(Accumulation, AClassHoldingOneStaticMapShowsTheMap)
{
    // A class object reached through its loader's list of classes, as an application
    // class is; its static map holds nearly everything. Small things beside it.
    Heap h;
    const uint32_t loader = h.g.add(10, kOther);
    const uint32_t classes = h.g.add(4, kArray);
    const uint32_t holder = h.g.add(20, kClassObject);
    const uint32_t map = h.map(2000, 10);
    h.g.ref(loader, classes);
    h.g.ref(classes, holder);
    h.g.ref(holder, map);
    h.g.ref(holder, h.g.add(3, kValue));
    const uint32_t thread = h.g.add(30, kThread);
    h.g.ref(thread, h.g.add(1000, kArray));
    h.g.root(loader);
    h.g.root(thread);
    const Analysed a = analyse(h.g);

    const uint32_t table = a.graph.targets[a.graph.firstEdge[map]];
    EXPECT_EQ(accumulationPoint(a.graph, a.tree, loader), table);
    EXPECT_EQ(accumulationPoint(a.graph, a.tree, map), table);
    const std::vector<BigObject> big = biggestObjects(a.graph, a.tree, 10);
    ASSERT_EQ(big.size(), 2u);
    EXPECT_EQ(big[0].object, map);
    EXPECT_EQ(big[0].accumulation, table);
    // The thread holds its array; the array holds its bytes itself.
    EXPECT_EQ(big[1].object, thread + 1);
    EXPECT_EQ(big[1].accumulation, thread + 1);
}

TEST(Accumulation, ALinkedListAccumulatesAtItsHead)
{
    Heap h;
    const uint32_t owner = h.g.add(3, kOther);
    const uint32_t list = h.g.add(4, kList);
    h.g.ref(owner, list);
    uint32_t previous = list;
    for (int i = 0; i < 5000; ++i) {
        const uint32_t node = h.g.add(3, kListNode);
        h.g.ref(previous, node);
        h.g.ref(node, h.g.add(5, kValue));
        previous = node;
    }
    h.g.root(owner);
    const Analysed a = analyse(h.g);
    const uint32_t head = list + 1;
    EXPECT_EQ(accumulationPoint(a.graph, a.tree, owner), head);
    const std::vector<BigObject> big = biggestObjects(a.graph, a.tree, 1);
    ASSERT_EQ(big.size(), 1u);
    EXPECT_EQ(big[0].object, list);
    EXPECT_EQ(big[0].accumulation, head);
}

TEST(Accumulation, AClassHoldingTwoBigMapsShowsEachMap)
{
    Heap h;
    const uint32_t holder = h.g.add(20, kClassObject);
    const uint32_t first = h.map(600, 10);
    const uint32_t second = h.map(500, 10);
    h.g.ref(holder, first);
    h.g.ref(holder, second);
    h.g.ref(holder, h.g.add(2, kValue));
    h.g.root(holder);
    const Analysed a = analyse(h.g);
    EXPECT_EQ(accumulationPoint(a.graph, a.tree, holder), holder);
    const std::vector<BigObject> big = biggestObjects(a.graph, a.tree, 5);
    ASSERT_EQ(big.size(), 3u);
    EXPECT_EQ(big[0].object, first);
    EXPECT_EQ(big[0].accumulation, first + 1);
    EXPECT_EQ(big[1].object, second);
    EXPECT_EQ(big[1].accumulation, second + 1);
    EXPECT_EQ(a.graph.classOf[big[2].object], kValue);
}

TEST(Accumulation, ATreeOfOneClassAccumulatesAtItsRootEntry)
{
    // A tree map: entries with left, right and parent links, each holding a value.
    Heap h;
    const uint32_t tree = h.g.add(6, kOther);
    constexpr uint32_t entries = 1023;
    const uint32_t firstEntry = h.g.size();
    for (uint32_t i = 0; i < entries; ++i)
        h.g.add(5, kEntry);
    h.g.ref(tree, firstEntry);
    for (uint32_t i = 0; i < entries; ++i) {
        if (2 * i + 1 < entries)
            h.g.ref(firstEntry + i, firstEntry + 2 * i + 1);
        if (2 * i + 2 < entries)
            h.g.ref(firstEntry + i, firstEntry + 2 * i + 2);
        h.g.ref(firstEntry + i, i == 0 ? tree : firstEntry + (i - 1) / 2);
        h.g.ref(firstEntry + i, h.g.add(3, kValue));
    }
    h.g.root(tree);
    const Analysed a = analyse(h.g);
    EXPECT_EQ(accumulationPoint(a.graph, a.tree, tree), firstEntry);
    const std::vector<BigObject> big = biggestObjects(a.graph, a.tree, 3);
    ASSERT_EQ(big.size(), 1u);
    EXPECT_EQ(big[0].object, tree);
    EXPECT_EQ(big[0].accumulation, firstEntry);
}

TEST(Accumulation, BiggestObjectsAreTheLargestInOrderAndNoMoreThanAsked)
{
    // Twenty roots each holding a map of a different size, and a hundred small roots.
    Heap h;
    std::vector<uint32_t> maps;
    for (uint32_t i = 0; i < 20; ++i) {
        const uint32_t root = h.g.add(2, kThread);
        maps.push_back(h.map(50 + 37 * ((i * 7) % 20), 4));
        h.g.ref(root, maps.back());
        h.g.root(root);
    }
    for (int i = 0; i < 100; ++i)
        h.g.root(h.g.add(1, kOther));
    const Analysed a = analyse(h.g);
    const std::vector<BigObject> big = biggestObjects(a.graph, a.tree, 5);
    ASSERT_EQ(big.size(), 5u);
    std::vector<uint32_t> bySize = maps;
    std::sort(bySize.begin(), bySize.end(),
        [&](uint32_t x, uint32_t y) { return a.tree.retainedBytes(x) > a.tree.retainedBytes(y); });
    for (size_t i = 0; i < big.size(); ++i) {
        EXPECT_EQ(big[i].object, bySize[i]) << "place " << i;
        EXPECT_EQ(big[i].accumulation, bySize[i] + 1) << "place " << i;
    }
    EXPECT_TRUE(biggestObjects(a.graph, a.tree, 0).empty());
    EXPECT_EQ(biggestObjects(a.graph, a.tree, 1000).size(), 120u);
}
