#include "heap_analysis.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "dominators.h"
#include "graph_check.h"
#include "large_arrays.h"

namespace {

uint64_t classBytes(const ClassTotals& classes)
{
    return bytesOf(classes.objects) + bytesOf(classes.shallowBytes) + bytesOf(classes.retainedBytes);
}

// Adds held to the steps logged from first on.
void holding(StepCosts& costs, size_t first, uint64_t held)
{
    for (size_t i = first; i < costs.size(); ++i)
        costs[i].heldBytes = held;
}

}  // namespace

uint64_t HeapAnalysis::memoryBytes() const
{
    return tree.memoryBytes() + classBytes(classes) + paths.memoryBytes();
}

HeapAnalysis analyseHeap(const HeapGraph& graph, const AnalysisOptions& options, const AnalysisProgress& progress)
{
    auto begin = [&](const char* step) {
        if (progress)
            progress(step);
    };
    returnLargeBlocksAtOnce();
    const ReuseFreedArrays reuse;
    HeapAnalysis analysis;
    analysis.weakAsStrong = options.weakAsStrong;
    StepCosts& costs = analysis.costs;

    const std::string fault = graphFault(graph);
    if (!fault.empty())
        throw std::invalid_argument("heap graph: " + fault);

    begin("dominators and retained sizes");
    DominatorOptions dominatorOptions;
    dominatorOptions.weakAsStrong = options.weakAsStrong;
    StepCosts pathCosts;
    if (options.secondThread)
        dominatorOptions.alongside = [&] { analysis.paths = RootPaths(graph, &pathCosts); };
    Dominators dominators = computeDominators(graph, dominatorOptions, &costs);
    analysis.reachable = dominators.reachable;
    analysis.unreachable = dominators.unreachable;
    analysis.unreachableBytes = dominators.unreachableBytes;
    StepClock clock(&costs);
    size_t first = costs.size();
    uint64_t held = bytesOf(dominators.idom) + dominators.retained.memoryBytes();

    if (options.secondThread) {
        // The search ran beside the steps between the semidominators and the retained
        // sizes: each holds what the others held at their largest.
        size_t from = 0, to = costs.size();
        for (size_t i = 0; i < costs.size(); ++i) {
            if (costs[i].name == "semidominators")
                from = i + 1;
            if (costs[i].name == "retained sizes")
                to = i;
        }
        uint64_t beside = 0;
        for (size_t i = from; i < to; ++i)
            beside = std::max(beside, costs[i].workBytes);
        for (StepCost& cost : pathCosts) {
            cost.name += " (second thread)";
            cost.heldBytes = beside;
        }
        for (size_t i = from; i < to; ++i)
            costs[i].heldBytes = pathCosts.empty() ? 0 : pathCosts.front().workBytes;
        // The retained sizes, summed after the join, hold the paths' parents besides.
        for (size_t i = to; i < costs.size(); ++i)
            costs[i].heldBytes = analysis.paths.memoryBytes();
        costs.insert(costs.begin() + to, pathCosts.begin(), pathCosts.end());
    } else {
        // Before the tree: the search's queue and the tree's counting sort need as much,
        // and the tree's groups are kept.
        begin("paths from the roots");
        analysis.paths = RootPaths(graph, &costs);
        holding(costs, first, held);
        first = costs.size();
        clock = StepClock(&costs);
    }
    held += analysis.paths.memoryBytes();

    begin("dominator tree");
    first = costs.size();
    const uint64_t idomBytes = bytesOf(dominators.idom);
    analysis.tree = DominatorTree(std::move(dominators.idom), std::move(dominators.retained));
    // Its counting sort keeps one more 4-byte array per object while it runs.
    const uint64_t groupBytes = analysis.tree.memoryBytes() - idomBytes - analysis.tree.retainedMemoryBytes();
    clock.done("dominator tree", groupBytes + (uint64_t{graph.objects} + 2) * 4);
    holding(costs, first, held);
    held += groupBytes;

    begin("totals by class");
    first = costs.size();
    analysis.classes = totalsByClass(graph, analysis.tree);
    // The walk's cursor per object, and a count per class of the instances above.
    clock.done("totals by class",
        classBytes(analysis.classes) + analysis.classes.objects.size() * 4 + (uint64_t{graph.objects} + 1) * 4);
    holding(costs, first, held);
    return analysis;
}
