#include "heap_analysis.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <utility>

#include "dominators.h"
#include "graph_check.h"
#include "large_arrays.h"
#include "second_thread.h"

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
    if (!options.secondThread)
        dominatorOptions.twoThreadsFrom = kNoObject;
    // The counts and shallow bytes by class need the graph only.
    if (options.secondThread)
        dominatorOptions.beside = [&] { analysis.classes = shallowTotalsByClass(graph); };
    else
        analysis.classes = shallowTotalsByClass(graph);
    Dominators dominators = computeDominators(graph, dominatorOptions, &costs);
    analysis.reachable = dominators.reachable;
    analysis.unreachable = dominators.unreachable;
    analysis.unreachableBytes = dominators.unreachableBytes;
    const uint64_t held = bytesOf(dominators.idom) + dominators.retained.memoryBytes();

    // The paths need the graph only: with a second thread they are searched beside the
    // dominator tree and the totals by class, which leave that core idle. Their arrays
    // and the search's come to about what the retained sizes held at their peak.
    StepCosts pathCosts;
    std::function<void()> searchBeside;
    if (options.secondThread)
        searchBeside = [&] { analysis.paths = RootPaths(graph, &pathCosts); };
    SecondThread search(searchBeside);
    if (!options.secondThread) {
        begin("paths from the roots");
        const size_t first = costs.size();
        analysis.paths = RootPaths(graph, &costs);
        holding(costs, first, held);
    }
    const uint64_t heldWithPaths = held + (options.secondThread ? 0 : analysis.paths.memoryBytes());

    StepClock clock(&costs);
    begin("dominator tree");
    size_t first = costs.size();
    const uint64_t idomBytes = bytesOf(dominators.idom);
    analysis.tree = DominatorTree(std::move(dominators.idom), std::move(dominators.retained));
    // Its counting sort keeps a count per group while it runs.
    const uint64_t groupBytes = analysis.tree.memoryBytes() - idomBytes - analysis.tree.retainedMemoryBytes();
    clock.done("dominator tree", groupBytes + (uint64_t{analysis.tree.dominating()} + 2) * 4);
    holding(costs, first, heldWithPaths);
    const uint64_t heldAfterTree = heldWithPaths + groupBytes;

    begin("totals by class");
    first = costs.size();
    addRetainedByClass(graph, analysis.tree, analysis.classes);
    // The walk's cursor per group, and a count per class of the instances above.
    const uint64_t cursorBytes = (uint64_t{analysis.tree.dominating()} + 1) * 4;
    clock.done("totals by class", classBytes(analysis.classes) + analysis.classes.objects.size() * 4 + cursorBytes);
    holding(costs, first, heldAfterTree);

    if (search.join()) {
        // The search ran beside the last two steps: each holds the search's arrays at
        // their largest, and the search what those steps held at theirs.
        const size_t last = costs.size();
        uint64_t beside = 0;
        for (size_t i = last - 2; i < last; ++i)
            beside = std::max(beside, costs[i].workBytes + costs[i].heldBytes);
        const uint64_t searchBytes = pathCosts.empty() ? 0 : pathCosts.front().workBytes;
        for (size_t i = last - 2; i < last; ++i)
            costs[i].heldBytes += searchBytes;
        for (StepCost& cost : pathCosts) {
            cost.name += " (second thread)";
            cost.heldBytes = beside;
            costs.push_back(cost);
        }
    }
    return analysis;
}
