// Paths from the GC roots and referrers, against breadth-first searches and scans done
// the obvious way.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "brute_force.h"
#include "referrers.h"
#include "root_paths.h"
#include "test_graphs.h"

namespace {

bool isRoot(const HeapGraph& graph, uint32_t object)
{
    return std::find(graph.roots.begin(), graph.roots.end(), object) != graph.roots.end();
}

// Every step is a real reference from the step before, the first a root.
void expectRealPath(const HeapGraph& graph, const RootPath& path, uint32_t object)
{
    ASSERT_FALSE(path.steps.empty());
    EXPECT_EQ(path.steps.back().object, object);
    EXPECT_TRUE(isRoot(graph, path.steps.front().object));
    EXPECT_EQ(path.steps.front().edge, kNoObject);
    bool anyWeak = false;
    for (size_t i = 1; i < path.steps.size(); ++i) {
        const uint32_t from = path.steps[i - 1].object;
        const PathStep& step = path.steps[i];
        if (step.edge == kClassEdge) {
            EXPECT_EQ(graph.classObject.at(graph.classOf[from]), step.object);
        } else if (step.weak) {
            anyWeak = true;
            ASSERT_LT(step.edge, graph.weakEdges.size());
            EXPECT_EQ(graph.weakEdges[step.edge], std::make_pair(from, step.object));
        } else {
            ASSERT_GE(step.edge, graph.firstEdge[from]);
            ASSERT_LT(step.edge, graph.firstEdge[from + 1]);
            EXPECT_EQ(graph.targets[step.edge], step.object);
        }
    }
    EXPECT_EQ(path.kind, anyWeak ? PathKind::weak : PathKind::strong);
}

}  // namespace

TEST(RootPaths, ShortestStrongThenThroughReferentsThenNone)
{
    for (const uint32_t number : randomCases(20)) {
        SCOPED_TRACE(describe(number));
        const HeapGraph graph = randomHeap(number, 800 + number % 5 * 700);
        const std::vector<uint32_t> strong = strongDistances(graph);
        const std::vector<uint32_t> any = anyDistances(graph);
        const RootPaths paths(graph);
        for (uint32_t o = 0; o < graph.objects; ++o) {
            const RootPath path = paths.pathTo(graph, o);
            if (strong[o] != kNoObject) {
                ASSERT_EQ(path.kind, PathKind::strong) << "object " << o;
                ASSERT_EQ(path.steps.size(), strong[o] + 1) << "object " << o;
            } else if (any[o] != kNoObject) {
                ASSERT_EQ(path.kind, PathKind::weak) << "object " << o;
                ASSERT_EQ(path.steps.size(), any[o] + 1) << "object " << o;
            } else {
                ASSERT_EQ(path.kind, PathKind::none) << "object " << o;
                ASSERT_TRUE(path.steps.empty());
                continue;
            }
            expectRealPath(graph, path, o);
            if (HasFatalFailure())
                return;
        }
    }
}

// Enough objects that the search's queue gives back several of its chunks, in the strong
// search and in the one through referents after it.
TEST(RootPaths, LargeHeapAgreesWithTheSearchDoneTheObviousWay)
{
    const HeapGraph graph = randomHeap(11, 400000);
    ASSERT_FALSE(graph.weakEdges.empty());
    const std::vector<uint32_t> strong = strongDistances(graph);
    const std::vector<uint32_t> any = anyDistances(graph);
    const RootPaths paths(graph);
    uint32_t weakOnly = 0;
    for (uint32_t o = 0; o < graph.objects; ++o) {
        const RootPath path = paths.pathTo(graph, o);
        const uint32_t want = strong[o] != kNoObject ? strong[o] : any[o];
        weakOnly += strong[o] == kNoObject && any[o] != kNoObject;
        ASSERT_EQ(path.steps.size(), want == kNoObject ? 0 : want + 1) << "object " << o;
    }
    EXPECT_GT(weakOnly, 0u);
}

TEST(RootPaths, DeepChainAndObjectsOutOfRange)
{
    constexpr uint32_t n = 200000;
    GraphBuilder g;
    for (uint32_t k = 0; k < n; ++k) {
        g.add(1);
        if (k > 0)
            g.ref(k - 1, k);
    }
    g.ref(n - 1, 0);
    g.root(0);
    const HeapGraph graph = g.build();
    const RootPaths paths(graph);
    const RootPath path = paths.pathTo(graph, n - 1);
    ASSERT_EQ(path.steps.size(), n);
    expectRealPath(graph, path, n - 1);
    EXPECT_EQ(paths.pathTo(graph, n).kind, PathKind::none);
}

TEST(Referrers, EveryReferenceToTheObjectOnceInOrder)
{
    for (const uint32_t number : randomCases(10)) {
        SCOPED_TRACE(describe(number));
        const HeapGraph graph = randomHeap(number, 2000);
        for (uint32_t o = 0; o < graph.objects; ++o) {
            std::vector<std::tuple<uint32_t, uint32_t, bool>> want;
            for (uint32_t from = 0; from < graph.objects; ++from) {
                if (!graph.classObject.empty() && graph.classOf[from] < graph.classObject.size()
                    && graph.classObject[graph.classOf[from]] == o)
                    want.emplace_back(from, kClassEdge, false);
                for (uint32_t e = graph.firstEdge[from]; e < graph.firstEdge[from + 1]; ++e) {
                    if (graph.targets[e] == o)
                        want.emplace_back(from, e, false);
                }
            }
            for (uint32_t w = 0; w < graph.weakEdges.size(); ++w) {
                if (graph.weakEdges[w].second == o)
                    want.emplace_back(graph.weakEdges[w].first, w, true);
            }
            const ReferrerList all = referrersOf(graph, o);
            std::vector<std::tuple<uint32_t, uint32_t, bool>> got;
            for (const Referrer& r : all.first)
                got.emplace_back(r.holder, r.edge, r.weak);
            ASSERT_EQ(got, want) << "object " << o;
            ASSERT_EQ(all.total, want.size()) << "object " << o;
            // The first few, and all of them counted.
            const uint32_t limit = o % 4;
            const ReferrerList some = referrersOf(graph, o, limit);
            EXPECT_EQ(some.total, want.size()) << "object " << o;
            ASSERT_EQ(some.first.size(), std::min<size_t>(limit, want.size())) << "object " << o;
            for (size_t i = 0; i < some.first.size(); ++i) {
                EXPECT_EQ(std::make_tuple(some.first[i].holder, some.first[i].edge, some.first[i].weak), want[i])
                    << "object " << o;
            }
        }
    }
}

TEST(Referrers, RowsWithoutReferencesAndTheLastRow)
{
    // Empty rows before and after the holder must not be taken for it.
    GraphBuilder g;
    for (int i = 0; i < 200; ++i)
        g.add(1);
    g.ref(5, 150);
    g.ref(6, 150);
    g.ref(199, 150);
    for (int i = 0; i < 100; ++i)
        g.ref(100, 7);
    g.ref(100, 150);
    const HeapGraph graph = g.build();
    std::vector<uint32_t> holders;
    for (const Referrer& r : referrersOf(graph, 150).first)
        holders.push_back(r.holder);
    EXPECT_EQ(holders, (std::vector<uint32_t>{5, 6, 100, 199}));
    EXPECT_EQ(referrersOf(graph, 7).first.size(), 100u);
    EXPECT_TRUE(referrersOf(graph, 0).first.empty());
    EXPECT_EQ(referrersOf(graph, 1000).total, 0u);
}
