// The snapshot library's graph algorithms on synthetic heaps of 1M, 10M and 30M objects:
// time and bytes per object of every step, the process's peak memory, and the queries a
// person makes of a ready analysis. Each time is also given as a ratio to one plain
// breadth-first walk of the same graph, timed in the same run: the least any whole-graph
// algorithm costs on this machine at that moment.
//
// Each size runs twice: with every object's reference to its class in the rows, and
// with those left implicit (HeapGraph::classObject), as the dump reader writes them.
//
//   vorlan_snapshot_bench [--objects N,N,...] [--weak] [--one-thread] [--markdown FILE]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "accumulation.h"
#include "bit_set.h"
#include "heap_analysis.h"
#include "referrers.h"
#include "synthetic_heap.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A field of /proc/self/status, in bytes.
uint64_t statusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0)
            return std::strtoull(line.c_str() + length + 1, nullptr, 10) * 1024;
    }
    return 0;
}

// Lets VmHWM restart from the present resident size.
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

uint64_t graphBytes(const HeapGraph& g)
{
    return g.sizeUnits.memoryBytes() + g.classOf.memoryBytes() + bytesOf(g.firstEdge) + bytesOf(g.targets) + bytesOf(g.weakEdges)
        + bytesOf(g.roots);
}

// The anchor: one breadth-first walk from the roots with a bit per object and a queue.
double plainWalkSeconds(const HeapGraph& g)
{
    const auto start = Clock::now();
    BitSet seen(g.objects);
    std::vector<uint32_t> queue;
    queue.reserve(g.objects);
    for (const uint32_t root : g.roots) {
        if (!seen.test(root)) {
            seen.set(root);
            queue.push_back(root);
        }
    }
    auto reach = [&](uint32_t t) {
        if (!seen.test(t)) {
            seen.set(t);
            queue.push_back(t);
        }
    };
    for (size_t head = 0; head < queue.size(); ++head) {
        const uint32_t o = queue[head];
        if (g.classEdge(o) != kNoObject)
            reach(g.classEdge(o));
        for (uint32_t e = g.firstEdge[o]; e < g.firstEdge[o + 1]; ++e)
            reach(g.targets[e]);
    }
    return since(start);
}

struct Timing {
    double first = 0;  // ms
    double median = 0;
    double worst = 0;
};

template <class F>
Timing timeQueries(const std::vector<uint32_t>& subjects, F query)
{
    std::vector<double> ms;
    for (const uint32_t s : subjects) {
        const auto start = Clock::now();
        query(s);
        ms.push_back(since(start) * 1000);
    }
    Timing t;
    if (ms.empty())
        return t;
    t.first = ms.front();
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    t.median = sorted[sorted.size() / 2];
    t.worst = sorted.back();
    return t;
}

std::string fixed(double value, int digits = 2)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

void run(uint32_t objects, bool implicitClass, bool weak, bool oneThread, std::ostringstream& out)
{
    auto start = Clock::now();
    SyntheticHeap heap = makeSyntheticHeap(objects, implicitClass);
    const HeapGraph& g = heap.graph;
    const double made = since(start);
    const double n = g.objects;
    const double graphPerObject = graphBytes(g) / n;
    std::fprintf(stderr, "%u objects made in %.2f s\n", g.objects, made);

    const double walk = plainWalkSeconds(g);
    const uint64_t before = statusBytes("VmRSS:");
    resetPeak();
    AnalysisOptions options;
    options.weakAsStrong = weak;
    options.secondThread = !oneThread;
    start = Clock::now();
    const HeapAnalysis analysis = analyseHeap(g, options);
    const double analysed = since(start);
    const uint64_t peak = statusBytes("VmHWM:");

    out << "\n### " << g.objects << " objects, class references " << (implicitClass ? "implicit" : "in the rows")
        << (weak ? ", referents counted as strong" : "") << (oneThread ? ", one thread" : "") << "\n\n";
    out << "Graph: " << g.edgeCount() << " references in the rows (" << fixed(g.edgeCount() / n) << " per object), "
        << g.weakEdges.size() << " weak, " << g.roots.size() << " roots; " << fixed(graphPerObject, 1) << " B/object. Reachable " << analysis.reachable << ", without a"
        << " dominator " << analysis.unreachable << ". Anchor: one breadth-first walk of the graph, "
        << fixed(walk * 1000, 0) << " ms.\n\n";
    out << "| step | ms | CPU ms | × walk | its arrays B/obj | held meanwhile B/obj | with the graph B/obj |\n";
    out << "|---|---|---|---|---|---|---|\n";
    double accounted = 0, cpu = 0;
    for (const StepCost& c : analysis.costs) {
        const double total = graphPerObject + (c.workBytes + c.heldBytes) / n;
        accounted = std::max(accounted, total);
        cpu += c.cpuSeconds;
        out << "| " << c.name << " | " << fixed(c.seconds * 1000, 0) << " | " << fixed(c.cpuSeconds * 1000, 0) << " | "
            << fixed(c.seconds / walk) << " | "
            << fixed(c.workBytes / n, 1) << " | " << fixed(c.heldBytes / n, 1) << " | " << fixed(total, 1) << " |\n";
    }
    out << "| **whole analysis** | **" << fixed(analysed * 1000, 0) << "** | **" << fixed(cpu * 1000, 0) << "** | **"
        << fixed(analysed / walk) << "** | | | **"
        << fixed(accounted, 1) << "** peak |\n\n";
    out << "Kept for queries: " << fixed(analysis.memoryBytes() / n, 1) << " B/object beside the graph. Process: "
        << fixed(before / n, 1) << " B/object resident before the analysis (the graph, the program, what earlier runs"
        << " left to the allocator), peak " << fixed(peak / n, 1) << " B/object during it: the analysis added "
        << fixed((peak - before) / n, 1) << " B/object at its peak, where the steps account for "
        << fixed(accounted - graphPerObject, 1) << ".\n\n";

    // Queries on the ready analysis.
    std::vector<uint32_t> randomObjects;
    for (uint32_t i = 0; i < 1000; ++i)
        randomObjects.push_back(static_cast<uint32_t>((i * 2654435761u) % g.objects));
    const DominatorTree& tree = analysis.tree;
    out << "| query | first ms | median ms | worst ms |\n|---|---|---|---|\n";
    auto row = [&out](const std::string& name, const Timing& t) {
        out << "| " << name << " | " << fixed(t.first) << " | " << fixed(t.median) << " | " << fixed(t.worst) << " |\n";
    };
    const uint32_t tableChildren = tree.childCount(heap.sessionTable);
    row("dominators, top level: 25 of " + std::to_string(tree.childCount(kVirtualRoot)),
        timeQueries(std::vector<uint32_t>(5, kVirtualRoot), [&](uint32_t o) { tree.children(o, 0, 25); }));
    row("dominators of the session table: first 25 of " + std::to_string(tableChildren),
        timeQueries(std::vector<uint32_t>(5, heap.sessionTable), [&](uint32_t o) { tree.children(o, 0, 25); }));
    std::vector<uint32_t> offsets;
    for (uint32_t i = 1; i <= 20; ++i)
        offsets.push_back(tableChildren / 21 * i);
    row("same, 25 from 20 offsets across it",
        timeQueries(offsets, [&](uint32_t offset) { tree.children(heap.sessionTable, offset, 25); }));
    row("dominators of 1000 objects: first 25",
        timeQueries(randomObjects, [&](uint32_t o) { tree.children(o, 0, 25); }));
    std::vector<BigObject> big;
    row("biggest 20 objects with their accumulation points",
        timeQueries(std::vector<uint32_t>(5, 0), [&](uint32_t) { big = biggestObjects(g, tree, 20); }));
    size_t longest = 0;
    row("path from a GC root, 1000 objects",
        timeQueries(randomObjects, [&](uint32_t o) { longest = std::max(longest, analysis.paths.pathTo(g, o).steps.size()); }));
    const uint32_t farEnd = heap.queueHead + 3 * (heap.queueLength - 2);
    row("path to the far end of the queue (" + std::to_string(analysis.paths.pathTo(g, farEnd).steps.size()) + " steps)",
        timeQueries(std::vector<uint32_t>(3, farEnd), [&](uint32_t o) { analysis.paths.pathTo(g, o); }));
    row("referrers, 20 objects",
        timeQueries(std::vector<uint32_t>(randomObjects.begin(), randomObjects.begin() + 20),
            [&](uint32_t o) { referrersOf(g, o); }));
    row("referrers of java.lang.String's class object: all " + std::to_string(referrersOf(g, 2).total),
        timeQueries(std::vector<uint32_t>(3, 2), [&](uint32_t o) { referrersOf(g, o); }));
    row("same, the first 100 and the count",
        timeQueries(std::vector<uint32_t>(3, 2), [&](uint32_t o) { referrersOf(g, o, 100); }));
    out << "\nBiggest objects:\n\n| object | class | retained MB | accumulation point | its class |\n|---|---|---|---|---|\n";
    for (size_t i = 0; i < std::min<size_t>(big.size(), 5); ++i) {
        const BigObject& b = big[i];
        out << "| " << b.object << " | " << heap.classNames[g.classOf[b.object]] << " | "
            << fixed(tree.retainedBytes(b.object) / 1e6, 1) << " | " << b.accumulation << " | "
            << heap.classNames[g.classOf[b.accumulation]] << " |\n";
    }
    out << "\nLongest of the 1000 paths: " << longest << " steps.\n";
    std::fprintf(stderr, "%u objects analysed in %.2f s\n", g.objects, analysed);
}

std::vector<uint32_t> parseSizes(const char* text)
{
    std::vector<uint32_t> sizes;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ','))
        sizes.push_back(static_cast<uint32_t>(std::strtoul(part.c_str(), nullptr, 10)));
    return sizes;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<uint32_t> sizes{1000000, 10000000, 30000000};
    bool weak = false, oneThread = false;
    const char* markdown = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--objects") && i + 1 < argc) {
            sizes = parseSizes(argv[++i]);
        } else if (!std::strcmp(argv[i], "--weak")) {
            weak = true;
        } else if (!std::strcmp(argv[i], "--one-thread")) {
            oneThread = true;
        } else if (!std::strcmp(argv[i], "--markdown") && i + 1 < argc) {
            markdown = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--objects N,N,...] [--weak] [--one-thread] [--markdown FILE]\n", argv[0]);
            return 2;
        }
    }
    std::ostringstream out;
    for (const uint32_t n : sizes) {
        for (const bool implicitClass : {false, true})
            run(n, implicitClass, weak, oneThread, out);
    }
    std::fputs(out.str().c_str(), stdout);
    if (markdown)
        std::ofstream(markdown) << out.str();
    return 0;
}
