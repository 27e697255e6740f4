#include "retained_sizes.h"

void RetainedSizes::setUnits(uint32_t object, uint64_t units)
{
    // A total beyond 40 bits (only a forged dump gets there) stays at the top.
    if (units > kMask)
        units = kMask;
    std::memcpy(packed_.data() + uint64_t{object} * 5, &units, 5);
}

RetainedSizes::RetainedSizes(const HeapGraph& graph, const Dominators& dominators)
    : packed_(uint64_t{graph.objects} * 5 + 3, 0)
{
    for (const uint32_t object : dominators.preorder)
        setUnits(object, graph.sizeUnits[object]);
    uint64_t reachableUnits = 0;
    for (auto it = dominators.preorder.rbegin(); it != dominators.preorder.rend(); ++it) {
        const uint32_t object = *it;
        const uint32_t dominator = dominators.idom[object];
        if (dominator == kVirtualRoot)
            reachableUnits += units(object);
        else
            setUnits(dominator, units(dominator) + units(object));
    }
    reachableBytes_ = reachableUnits * kSizeUnit;
}
