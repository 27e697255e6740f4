// The whole analysis of a heap graph, everything the queries read: dominators, retained
// sizes, the paths from the GC roots, the dominator tree and totals per class. The steps
// run one after another in the order that keeps memory lowest, each freeing what the next
// does not need; costs records each step's time and bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "class_totals.h"
#include "dominator_tree.h"
#include "heap_graph.h"
#include "root_paths.h"
#include "step_costs.h"

struct AnalysisOptions {
    // Count a Reference's referent as a strong reference in dominators and retained
    // sizes (Eclipse MAT's default). Off, retained sizes are what the next collections
    // would free. Paths always prefer strong references.
    bool weakAsStrong = false;
    // Use the second core: the dominators' last walk over the graph on two threads, and
    // the paths from the roots searched beside the dominator tree and the totals by class.
    bool secondThread = true;
};

struct HeapAnalysis {
    bool weakAsStrong = false;
    uint32_t reachable = 0;
    uint32_t unreachable = 0;  // no dominator: only weakly reachable, or garbage
    uint64_t unreachableBytes = 0;
    DominatorTree tree;
    ClassTotals classes;
    RootPaths paths;
    StepCosts costs;

    uint64_t memoryBytes() const;
};

// Called with the name of each step as it begins.
using AnalysisProgress = std::function<void(const std::string& step)>;

// Throws std::invalid_argument, saying why, for a graph that graphFault finds unsound.
HeapAnalysis analyseHeap(const HeapGraph& graph, const AnalysisOptions& options = {}, const AnalysisProgress& progress = {});
