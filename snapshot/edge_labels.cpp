#include "edge_labels.h"

#include <algorithm>

uint32_t EdgeLabels::skipAt(uint32_t edge) const
{
    if (skips_[edge] != kEscape)
        return skips_[edge];
    auto found = std::lower_bound(escapes_.begin(), escapes_.end(), std::make_pair(edge, 0u));
    return found != escapes_.end() && found->first == edge ? found->second : kEscape;
}

uint32_t EdgeLabels::slot(uint32_t first, uint32_t edge) const
{
    // Slots are numbered from 0, so the first edge's slot is its skip.
    uint64_t slot = 0;
    for (uint32_t e = first; e <= edge; ++e)
        slot += skipAt(e) + (e == first ? 0 : 1);
    return static_cast<uint32_t>(slot);
}

std::vector<uint32_t> EdgeLabels::slots(uint32_t first, uint32_t end) const
{
    std::vector<uint32_t> out;
    out.reserve(end - first);
    uint64_t slot = 0;
    for (uint32_t e = first; e < end; ++e) {
        slot += skipAt(e) + (e == first ? 0 : 1);
        out.push_back(static_cast<uint32_t>(slot));
    }
    return out;
}
