// The whole analysis in one call: the same answers with and without its second thread,
// referents counted only when asked, and every step's cost recorded.
#include <gtest/gtest.h>

#include <stdexcept>

#include "brute_force.h"
#include "graph_check.h"
#include "heap_analysis.h"
#include "test_graphs.h"

TEST(HeapAnalysis, OneThreadOrTwoGiveTheBruteForceAnswers)
{
    for (const uint32_t number : randomCases(6)) {
        SCOPED_TRACE(describe(number));
        const HeapGraph graph = randomHeap(number, 1500);
        for (const bool weak : {false, true}) {
            const BruteDominators want = bruteDominators(graph, weak);
            const std::vector<uint32_t> strong = strongDistances(graph);
            for (const bool second : {false, true}) {
                AnalysisOptions options;
                options.weakAsStrong = weak;
                options.secondThread = second;
                std::vector<std::string> steps;
                const HeapAnalysis a = analyseHeap(graph, options, [&](const std::string& step) { steps.push_back(step); });
                EXPECT_EQ(a.weakAsStrong, weak);
                EXPECT_EQ(a.unreachable, want.unreachable);
                EXPECT_EQ(a.reachable + a.unreachable, graph.objects);
                for (uint32_t o = 0; o < graph.objects; ++o) {
                    ASSERT_EQ(a.tree.dominatorOf(o), want.idom[o]) << "object " << o;
                    ASSERT_EQ(a.tree.retainedBytes(o), want.retained[o]) << "object " << o;
                    const RootPath path = a.paths.pathTo(graph, o);
                    if (strong[o] != kNoObject) {
                        ASSERT_EQ(path.steps.size(), strong[o] + 1) << "object " << o;
                    }
                }
                ASSERT_EQ(a.classes.retainedBytes.size(), want.classRetained.size());
                for (size_t c = 0; c < want.classRetained.size(); ++c)
                    EXPECT_EQ(a.classes.retainedBytes[c], want.classRetained[c]) << "class " << c;
                // Counted beside the dominators when there is a second thread.
                std::vector<uint64_t> objects(want.classRetained.size()), shallow(want.classRetained.size());
                for (uint32_t o = 0; o < graph.objects; ++o) {
                    ++objects[graph.classOf[o]];
                    shallow[graph.classOf[o]] += graph.shallowSize(o);
                }
                EXPECT_EQ(a.classes.objects, objects);
                EXPECT_EQ(a.classes.shallowBytes, shallow);
                EXPECT_FALSE(steps.empty());
                bool pathsLogged = false;
                for (const StepCost& cost : a.costs) {
                    EXPECT_GE(cost.seconds, 0.0) << cost.name;
                    pathsLogged = pathsLogged || cost.name.find("paths from the roots") == 0;
                }
                EXPECT_TRUE(pathsLogged);
                EXPECT_GT(a.memoryBytes(), 0u);
            }
        }
    }
}

TEST(HeapAnalysis, AnUnsoundGraphIsRefusedWithItsReason)
{
    const HeapGraph sound = randomHeap(3, 300);
    EXPECT_EQ(graphFault(sound), "");

    HeapGraph badTarget = sound;
    badTarget.targets[7] = badTarget.objects + 5;
    EXPECT_EQ(graphFault(badTarget), "reference 7 names object " + std::to_string(sound.objects + 5) + " of "
        + std::to_string(sound.objects));
    EXPECT_THROW(analyseHeap(badTarget), std::invalid_argument);

    HeapGraph shortRows = sound;
    shortRows.firstEdge.pop_back();
    EXPECT_NE(graphFault(shortRows), "");
    HeapGraph unordered = sound;
    std::swap(unordered.firstEdge[10], unordered.firstEdge[200]);
    EXPECT_NE(graphFault(unordered), "");
    HeapGraph sizes = sound;
    sizes.classOf.pop_back();
    EXPECT_NE(graphFault(sizes), "");
}
