#include "retained_sizes.h"

namespace {

// 40 bits of 8-byte units; a total beyond (only a forged dump gets there) stays at the top.
constexpr uint64_t kMaxUnits = (uint64_t{1} << 40) - 1;

}  // namespace

void RetainedSizes::setUnits(uint32_t object, uint64_t units)
{
    if (units > kMaxUnits)
        units = kMaxUnits;
    low_[object] = static_cast<uint32_t>(units);
    high_[object] = static_cast<uint8_t>(units >> 32);
}

RetainedSizes::RetainedSizes(const HeapGraph& graph, const Dominators& dominators)
    : low_(graph.objects, 0), high_(graph.objects, 0)
{
    for (const uint32_t object : dominators.preorder)
        low_[object] = graph.sizeUnits[object];
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
