#include "dominator_tree.h"

#include <algorithm>

#include "large_arrays.h"

namespace {

// Groups up to this size are sorted whole at their first page; a page of a larger group
// puts this many in order from where it begins.
constexpr uint32_t kSortWhole = 4096;
// A piece this long is cut on a copy of its children with their retained sizes beside
// them, which the selections read in sequence instead of looking each size up again and
// again; unless the copy would take more than this many bytes per object of the heap.
constexpr uint32_t kGatherFrom = 32768;
constexpr uint64_t kGatherBytesPerObject = 2;

}  // namespace

DominatorTree::DominatorTree() : sort_(std::make_unique<SortState>()) {}
DominatorTree::DominatorTree(DominatorTree&&) noexcept = default;
DominatorTree& DominatorTree::operator=(DominatorTree&&) noexcept = default;
DominatorTree::~DominatorTree() = default;

DominatorTree::DominatorTree(std::vector<uint32_t> idom, RetainedSizes retained)
    : idom_(std::move(idom)), retained_(std::move(retained)), sort_(std::make_unique<SortState>())
{
    // A counting sort by group, stable, so each group starts in object order; its counts
    // take 4 B per dominating object while it runs.
    const uint32_t top = objects();
    parents_ = BitSet(top);
    for (uint32_t object = 0; object < top; ++object) {
        const uint32_t d = idom_[object];
        if (d != kNoObject && d != kVirtualRoot)
            parents_.set(d);
    }
    parents_.countRanks();
    std::vector<uint32_t> end;
    assignLarge(end, uint64_t{groupNumber(top)} + 2, 0u);
    for (uint32_t object = 0; object < top; ++object) {
        if (idom_[object] != kNoObject)
            ++end[groupNumber(keyOf(object)) + 1];
    }
    for (uint64_t group = 1; group < end.size(); ++group)
        end[group] += end[group - 1];
    lastOfGroup_ = BitSet(end.back());
    for (uint64_t group = 1; group < end.size(); ++group) {
        if (end[group] > end[group - 1])
            lastOfGroup_.set(end[group] - 1);
    }
    assignLarge(children_, end.back(), 0u);
    for (uint32_t object = 0; object < top; ++object) {
        if (idom_[object] != kNoObject)
            children_[end[groupNumber(keyOf(object))]++] = object;
    }
    release(end);
}

uint64_t DominatorTree::memoryBytes() const
{
    return idom_.capacity() * 4 + retained_.memoryBytes() + children_.capacity() * 4 + parents_.bytes()
        + lastOfGroup_.bytes();
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

namespace {

// Cuts items[0, length) so that [a, b) holds what belongs there, in order.
template <class It, class Less>
void cut(It items, uint32_t length, uint32_t a, uint32_t b, Less less)
{
    if (0 < a)
        std::nth_element(items, items + a, items + length, less);
    if (b < length)
        std::nth_element(items + a, items + b, items + length, less);
    std::sort(items + a, items + b, less);
}

}  // namespace

void DominatorTree::cutGathered(std::vector<uint32_t>::iterator items, uint32_t length, uint32_t a, uint32_t b) const
{
    std::vector<Keyed> keyed(length);  // 16 B per child of the piece while it runs
    for (uint32_t i = 0; i < length; ++i)
        keyed[i] = {retained_.bytes(items[i]), items[i]};
    cut(keyed.begin(), length, a, b, [](const Keyed& x, const Keyed& y) {
        return x.bytes != y.bytes ? x.bytes > y.bytes : x.object < y.object;
    });
    for (uint32_t i = 0; i < length; ++i)
        items[i] = keyed[i].object;
}

void DominatorTree::putInOrder(uint32_t node, Range group, uint32_t from, uint32_t to) const
{
    const uint32_t size = group.end - group.begin;
    if (size < 2)
        return;
    std::map<uint32_t, Piece>& pieces = sort_->pieces[node];
    if (pieces.empty())
        pieces[0] = {size, false};
    // A small group is sorted whole; in a large one, each stretch put in order is a
    // block at least, so the pages after it are ready.
    if (size <= kSortWhole) {
        from = 0;
        to = size;
    }
    auto larger = [this](uint32_t a, uint32_t b) { return this->larger(a, b); };
    const auto base = children_.begin() + group.begin;
    auto it = std::prev(pieces.upper_bound(from));  // the piece that holds from
    while (it != pieces.end() && it->first < to) {
        const uint32_t start = it->first;
        const Piece piece = it->second;
        if (piece.sorted) {
            ++it;
            continue;
        }
        // Cut the piece at from and at to, then sort the middle.
        const uint32_t a = std::max(start, from);
        const uint32_t b = static_cast<uint32_t>(std::min<uint64_t>(piece.end, std::max<uint64_t>(to, uint64_t{a} + kSortWhole)));
        const uint32_t length = piece.end - start;
        if (length >= kGatherFrom && uint64_t{length} * sizeof(Keyed) <= uint64_t{objects()} * kGatherBytesPerObject)
            cutGathered(base + start, length, a - start, b - start);
        else
            cut(base + start, length, a - start, b - start, larger);
        if (start < a)
            pieces[start] = {a, false};
        if (b < piece.end)
            pieces[b] = {piece.end, false};
        pieces[a] = {b, true};
        it = pieces.find(b);
    }
}

uint32_t DominatorTree::childCount(uint32_t node) const
{
    if (leaf(node))
        return 0;
    std::lock_guard<std::mutex> lock(sort_->mutex);
    const Range group = groupOf(node);
    return group.end - group.begin;
}

std::vector<uint32_t> DominatorTree::children(uint32_t node, uint64_t offset, uint32_t limit) const
{
    if (leaf(node))
        return {};
    std::lock_guard<std::mutex> lock(sort_->mutex);
    const Range group = groupOf(node);
    const uint32_t size = group.end - group.begin;
    if (offset >= size || limit == 0)
        return {};
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(size, offset + limit));
    putInOrder(node, group, static_cast<uint32_t>(offset), count);
    return std::vector<uint32_t>(children_.begin() + group.begin + offset, children_.begin() + group.begin + count);
}

uint32_t DominatorTree::biggestChild(uint32_t node) const
{
    const std::vector<uint32_t> first = largestChildren(node, 1);
    return first.empty() ? kNoObject : first[0];
}

std::vector<uint32_t> DominatorTree::largestChildren(uint32_t node, uint32_t count) const
{
    if (leaf(node) || count == 0)
        return {};
    std::lock_guard<std::mutex> lock(sort_->mutex);
    const Range group = groupOf(node);
    const uint32_t size = group.end - group.begin;
    const auto base = children_.begin() + group.begin;
    const auto known = sort_->pieces.find(node);
    if (known != sort_->pieces.end()) {
        const auto first = known->second.find(0);
        if (first != known->second.end() && first->second.sorted && first->second.end >= std::min(size, count))
            return std::vector<uint32_t>(base, base + std::min(size, count));
    }
    std::vector<uint32_t> best;  // the largest so far, in order
    for (auto it = base; it != base + size; ++it) {
        if (best.size() == count && !larger(*it, best.back()))
            continue;
        if (best.size() == count)
            best.pop_back();
        best.insert(std::upper_bound(best.begin(), best.end(), *it,
                        [this](uint32_t a, uint32_t b) { return larger(a, b); }),
            *it);
    }
    return best;
}

std::vector<uint32_t> DominatorTree::someChildren(uint32_t node, uint32_t count) const
{
    if (leaf(node) || count == 0)
        return {};
    std::lock_guard<std::mutex> lock(sort_->mutex);
    const Range group = groupOf(node);
    const uint64_t size = group.end - group.begin;
    std::vector<uint32_t> out;
    const uint64_t n = std::min<uint64_t>(size, count);
    for (uint64_t i = 0; i < n; ++i)
        out.push_back(children_[group.begin + i * size / n]);
    return out;
}
