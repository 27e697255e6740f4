#include "class_totals.h"

ClassTotals totalsByClass(const HeapGraph& graph, const DominatorTree& tree)
{
    ClassTotals totals = shallowTotalsByClass(graph);
    addRetainedByClass(graph, tree, totals);
    return totals;
}

ClassTotals shallowTotalsByClass(const HeapGraph& graph)
{
    uint32_t classes = 0;
    for (uint32_t object = 0; object < graph.objects; ++object) {
        const uint32_t number = graph.classOf[object];
        if (number != kNoObject && number >= classes)
            classes = number + 1;
    }
    ClassTotals totals;
    totals.objects.assign(classes, 0);
    totals.shallowBytes.assign(classes, 0);
    totals.retainedBytes.assign(classes, 0);
    for (uint32_t object = 0; object < graph.objects; ++object) {
        const uint32_t number = graph.classOf[object];
        if (number == kNoObject)
            continue;
        ++totals.objects[number];
        totals.shallowBytes[number] += graph.shallowSize(object);
    }
    return totals;
}

void addRetainedByClass(const HeapGraph& graph, const DominatorTree& tree, ClassTotals& totals)
{
    const size_t classes = totals.retainedBytes.size();
    std::vector<uint32_t> above(classes, 0);  // instances of each class on the current path
    tree.walk(
        [&](uint32_t object) {
            const uint32_t number = graph.classOf[object];
            if (number != kNoObject && above[number]++ == 0)
                totals.retainedBytes[number] += tree.retainedBytes(object);
        },
        [&](uint32_t object) {
            const uint32_t number = graph.classOf[object];
            if (number != kNoObject)
                --above[number];
        });
}
