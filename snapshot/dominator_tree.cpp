#include "dominator_tree.h"

#include <algorithm>

namespace {

// Groups up to this size are sorted whole at their first page.
constexpr uint32_t kSortWhole = 4096;

}  // namespace

DominatorTree::DominatorTree() : sort_(std::make_unique<SortState>()) {}
DominatorTree::DominatorTree(DominatorTree&&) noexcept = default;
DominatorTree& DominatorTree::operator=(DominatorTree&&) noexcept = default;
DominatorTree::~DominatorTree() = default;

DominatorTree::DominatorTree(std::vector<uint32_t> idom, RetainedSizes retained)
    : idom_(std::move(idom)), retained_(std::move(retained)), sort_(std::make_unique<SortState>())
{
    // A counting sort by key, stable, so each group starts in object order.
    const uint32_t top = objects();
    std::vector<uint32_t> end(uint64_t{top} + 2, 0);  // 4 B/object while building
    for (uint32_t object = 0; object < top; ++object) {
        if (idom_[object] != kNoObject)
            ++end[keyOf(object) + 1];
    }
    for (uint64_t key = 1; key < end.size(); ++key)
        end[key] += end[key - 1];
    children_.resize(end.back());
    for (uint32_t object = 0; object < top; ++object) {
        if (idom_[object] != kNoObject)
            children_[end[keyOf(object)]++] = object;
    }
}

uint64_t DominatorTree::memoryBytes() const
{
    return idom_.capacity() * 4 + retained_.memoryBytes() + children_.capacity() * 4;
}

DominatorTree::Range DominatorTree::groupOf(uint32_t node) const
{
    const uint32_t key = keyOfNode(node);
    auto keyAt = [this](uint32_t pos) { return keyOf(children_[pos]); };
    uint32_t low = 0, high = reachable();
    while (low < high) {  // the first position with a key not below key
        const uint32_t mid = low + (high - low) / 2;
        if (keyAt(mid) < key)
            low = mid + 1;
        else
            high = mid;
    }
    Range range{low, low};
    high = reachable();
    while (low < high) {  // the first position with a key above key
        const uint32_t mid = low + (high - low) / 2;
        if (keyAt(mid) <= key)
            low = mid + 1;
        else
            high = mid;
    }
    range.end = low;
    return range;
}

void DominatorTree::putInOrder(uint32_t node, Range group, uint32_t count) const
{
    const uint32_t size = group.end - group.begin;
    if (size < 2)
        return;
    uint32_t& ordered = sort_->ordered[node];
    if (ordered >= count)
        return;
    // Grow the ordered prefix at least twofold, so paging through a large group costs a
    // few selections, not one per page; beyond a quarter of the group, sort it all.
    uint64_t target = std::max<uint64_t>({count, uint64_t{ordered} * 2, std::min(size, kSortWhole)});
    if (target > size / 4)
        target = size;
    auto larger = [this](uint32_t a, uint32_t b) {
        const uint64_t ra = retained_.bytes(a), rb = retained_.bytes(b);
        return ra != rb ? ra > rb : a < b;
    };
    const auto first = children_.begin() + group.begin + ordered;
    const auto middle = children_.begin() + group.begin + target;
    const auto last = children_.begin() + group.end;
    if (middle != last)
        std::nth_element(first, middle, last, larger);
    std::sort(first, middle, larger);
    ordered = static_cast<uint32_t>(target);
}

uint32_t DominatorTree::childCount(uint32_t node) const
{
    std::lock_guard<std::mutex> lock(sort_->mutex);
    const Range group = groupOf(node);
    return group.end - group.begin;
}

std::vector<uint32_t> DominatorTree::children(uint32_t node, uint64_t offset, uint32_t limit) const
{
    std::lock_guard<std::mutex> lock(sort_->mutex);
    const Range group = groupOf(node);
    const uint32_t size = group.end - group.begin;
    if (offset >= size || limit == 0)
        return {};
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(size, offset + limit));
    putInOrder(node, group, count);
    return std::vector<uint32_t>(children_.begin() + group.begin + offset, children_.begin() + group.begin + count);
}

uint32_t DominatorTree::biggestChild(uint32_t node) const
{
    const std::vector<uint32_t> first = children(node, 0, 1);
    return first.empty() ? kNoObject : first[0];
}
