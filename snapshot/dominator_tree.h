// The dominator tree: each reachable object under its immediate dominator, with the
// virtual root above all GC roots at the top. Children come largest retained size first
// (ties by object number), a page at a time; a large group is put in order only where
// pages are asked of it, so a page of an object with millions of children costs a
// selection or two over the part not yet in order (on a copy of their sizes when that is
// cheap), never a sort of the whole group, and later pages reuse what is in order
// already. Safe to query from several threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "bit_set.h"
#include "dominators.h"
#include "large_arrays.h"
#include "retained_sizes.h"

class DominatorTree {
public:
    DominatorTree();
    // Takes the immediate dominators (Dominators::idom) and the retained sizes.
    DominatorTree(std::vector<uint32_t> idom, RetainedSizes retained);
    DominatorTree(DominatorTree&&) noexcept;
    DominatorTree& operator=(DominatorTree&&) noexcept;
    ~DominatorTree();

    uint32_t objects() const { return static_cast<uint32_t>(idom_.size()); }
    uint32_t reachable() const { return static_cast<uint32_t>(children_.size()); }
    // Objects that dominate some other object.
    uint32_t dominating() const { return parents_.count(); }
    // kVirtualRoot for an object only the virtual root dominates, kNoObject for one no
    // root reaches.
    uint32_t dominatorOf(uint32_t object) const { return idom_[object]; }
    // node may be kVirtualRoot, which retains every reachable object.
    uint64_t retainedBytes(uint32_t node) const { return retained_.bytes(node); }

    // node is an object or kVirtualRoot.
    uint32_t childCount(uint32_t node) const;
    std::vector<uint32_t> children(uint32_t node, uint64_t offset, uint32_t limit) const;
    // The child with the largest retained size, kNoObject for a leaf.
    uint32_t biggestChild(uint32_t node) const;
    // The count largest children, largest first, found by one pass over the group when it
    // is not in order yet, and leaving it as it is: for a look at a group's top without
    // paying for its order.
    std::vector<uint32_t> largestChildren(uint32_t node, uint32_t count) const;

    // count children spread evenly over the group, in no particular order: a sample of
    // what a node dominates, for the cost of the sample alone.
    std::vector<uint32_t> someChildren(uint32_t node, uint32_t count) const;

    // Visits every reachable object depth first: enter(object) before its dominated
    // objects, leave(object) after them. Without a stack: a cursor per object that
    // dominates others (4 B each while it runs) and the dominator links lead the way back
    // up. enter and leave may read retainedBytes and dominatorOf but not ask for
    // children, which waits for the walk to end.
    template <class Enter, class Leave>
    void walk(Enter enter, Leave leave) const;

    // Bytes held: dominators, retained sizes and the groups.
    uint64_t memoryBytes() const;
    uint64_t retainedMemoryBytes() const { return retained_.memoryBytes(); }

private:
    struct Range {
        uint32_t begin = 0;
        uint32_t end = 0;
    };
    // A stretch of a group, by position in the group: every child in a piece comes
    // before every child in the pieces after it, and a sorted piece is in final order.
    struct Piece {
        uint32_t end = 0;
        bool sorted = false;
    };
    struct SortState {
        std::mutex mutex;
        std::unordered_map<uint32_t, std::map<uint32_t, Piece>> pieces;  // per group asked for, by start
    };
    // A child beside its retained size, for cutting a long piece.
    struct Keyed {
        uint64_t bytes;
        uint32_t object;
    };

    // The group key: the dominator's number, objects() for the virtual root.
    uint32_t keyOf(uint32_t object) const
    {
        const uint32_t d = idom_[object];
        return d == kVirtualRoot ? objects() : d;
    }
    uint32_t keyOfNode(uint32_t node) const { return node == kVirtualRoot ? objects() : node; }
    // Groups numbered densely in key order, one per object that dominates some other and
    // the virtual root's last, so that arrays by group take 4 B per dominating object
    // where arrays by key would take 4 B per object.
    uint32_t groupNumber(uint32_t key) const { return key == objects() ? parents_.count() : parents_.rank(key); }
    bool leaf(uint32_t node) const { return node != kVirtualRoot && (node >= objects() || !parents_.test(node)); }
    Range groupOf(uint32_t node) const;
    void putInOrder(uint32_t node, Range group, uint32_t from, uint32_t to) const;
    void cutGathered(std::vector<uint32_t>::iterator items, uint32_t length, uint32_t a, uint32_t b) const;
    bool larger(uint32_t a, uint32_t b) const
    {
        const uint64_t ra = retained_.bytes(a), rb = retained_.bytes(b);
        return ra != rb ? ra > rb : a < b;
    }

    std::vector<uint32_t> idom_;            // 4 B/object
    RetainedSizes retained_;                // 4 B/object
    mutable std::vector<uint32_t> children_;  // 4 B per reachable object: grouped by key, ascending
    BitSet parents_;                        // 1 bit/object: it dominates some object; ranked
    BitSet lastOfGroup_;                    // 1 bit per reachable object: the last of its group
    std::unique_ptr<SortState> sort_;
};

template <class Enter, class Leave>
void DominatorTree::walk(Enter enter, Leave leave) const
{
    std::lock_guard<std::mutex> lock(sort_->mutex);
    const uint32_t top = objects();
    const uint32_t size = reachable();
    if (size == 0)
        return;
    // Where each group's next child to enter is, kDone once all are: groups follow each
    // other, and only the virtual root's, the last, can be empty (then nothing is
    // reachable).
    constexpr uint32_t kDone = UINT32_MAX;
    const uint32_t groups = groupNumber(top) + 1;
    std::vector<uint32_t> cursor;
    assignLarge(cursor, groups, 0u);
    for (uint32_t pos = 0, group = 1; pos < size && group < groups; ++pos) {
        if (lastOfGroup_.test(pos))
            cursor[group++] = pos + 1;
    }
    uint32_t node = top;
    for (;;) {
        if (node == top || parents_.test(node)) {
            const uint32_t group = groupNumber(node);
            const uint32_t pos = cursor[group];
            if (pos != kDone) {
                if (lastOfGroup_.test(pos)) {
                    cursor[group] = kDone;
                } else {
                    cursor[group] = pos + 1;
                    // The next sibling's lookups start now: the subtree entered first is
                    // most often small, and they are in cache when the walk comes back.
                    const uint32_t after = children_[pos + 1];
                    __builtin_prefetch(&idom_[after]);
                    parents_.prefetch(after);
                    retained_.prefetch(after);
                }
                node = children_[pos];
                enter(node);
                continue;
            }
        }
        if (node == top) {
            release(cursor);
            return;
        }
        leave(node);
        node = keyOf(node);
    }
}
