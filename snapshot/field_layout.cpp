#include "field_layout.h"

#include <algorithm>
#include <functional>

namespace {

uint32_t alignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

class Layout {
public:
    Layout(const FieldBlockLayout& start, bool searchGaps) : holes_(start.holes), end_(start.end), searchGaps_(searchGaps) {}

    // One call per group of fields, as HotSpot's FieldLayout::add: the shortcut below
    // (a size that found no gap last time is appended straight away) lives per group.
    void add(const std::vector<uint32_t>& sizes)
    {
        uint32_t lastSize = 0;
        bool lastFound = false;
        for (uint32_t size : sizes) {
            if (!searchGaps_ || (size == lastSize && !lastFound)) {
                append(size);
                continue;
            }
            lastSize = size;
            const size_t gap = bestGap(size);
            lastFound = gap != holes_.size();
            if (lastFound)
                fill(gap, size);
            else
                append(size);
        }
    }

    FieldBlockLayout result() const { return {holes_, end_}; }

private:
    static uint32_t adjustment(uint32_t offset, uint32_t size) { return offset % size ? size - offset % size : 0; }

    // The smallest gap the field fits in (alignment included); among equal sizes the one
    // at the highest offset, as the layout builder scans from the end.
    size_t bestGap(uint32_t size) const
    {
        size_t best = holes_.size();
        for (size_t i = holes_.size(); i-- > 0;) {
            const auto [offset, room] = holes_[i];
            if (room >= size + adjustment(offset, size) && (best == holes_.size() || room < holes_[best].second))
                best = i;
        }
        return best;
    }

    void fill(size_t gap, uint32_t size)
    {
        const auto [offset, room] = holes_[gap];
        const uint32_t adjust = adjustment(offset, size);
        std::vector<std::pair<uint32_t, uint32_t>> parts;
        if (adjust > 0)
            parts.emplace_back(offset, adjust);
        if (room > adjust + size)
            parts.emplace_back(offset + adjust + size, room - adjust - size);
        holes_.erase(holes_.begin() + static_cast<std::ptrdiff_t>(gap));
        holes_.insert(holes_.begin() + static_cast<std::ptrdiff_t>(gap), parts.begin(), parts.end());
    }

    void append(uint32_t size)
    {
        const uint32_t adjust = adjustment(end_, size);
        if (adjust > 0)
            holes_.emplace_back(end_, adjust);
        end_ += adjust + size;
    }

    std::vector<std::pair<uint32_t, uint32_t>> holes_;
    uint32_t end_;
    bool searchGaps_;
};

}  // namespace

FieldBlockLayout layoutInstanceFields(const VmLayout& layout, const FieldBlockLayout* super,
                                      std::vector<uint8_t> primitiveSizes, uint32_t oops, uint32_t appendFrom)
{
    FieldBlockLayout start;
    start.end = appendFrom ? appendFrom : layout.instanceHeader();
    if (super) {
        // The superclass's gaps, merged where two touch, as rebuilt from its fields.
        for (const auto& hole : super->holes) {
            if (!start.holes.empty() && start.holes.back().first + start.holes.back().second == hole.first)
                start.holes.back().second += hole.second;
            else
                start.holes.push_back(hole);
        }
        start.end = super->end;
    }
    Layout fields(start, super != nullptr);
    std::sort(primitiveSizes.begin(), primitiveSizes.end(), std::greater<>());
    fields.add(std::vector<uint32_t>(primitiveSizes.begin(), primitiveSizes.end()));
    fields.add(std::vector<uint32_t>(oops, layout.oopSize()));
    return fields.result();
}

uint32_t instanceBytes(const VmLayout& layout, const FieldBlockLayout& fields)
{
    return static_cast<uint32_t>(layout.alignObject(alignUp(fields.end, 8)));
}

uint64_t mirrorBytes(const VmLayout& layout, uint32_t classInstanceBytes, uint32_t staticOops,
                     std::vector<uint8_t> staticPrimitiveSizes)
{
    // Statics are appended after java.lang.Class's own fields, never into gaps.
    uint64_t end = classInstanceBytes;
    end = (end + layout.oopSize() - 1) / layout.oopSize() * layout.oopSize() + uint64_t{staticOops} * layout.oopSize();
    std::sort(staticPrimitiveSizes.begin(), staticPrimitiveSizes.end(), std::greater<>());
    for (uint8_t size : staticPrimitiveSizes)
        end = (end + size - 1) / size * size + size;
    return layout.alignObject((end + 7) / 8 * 8);
}
