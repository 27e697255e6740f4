#include "tree_map_walk.h"

#include <unordered_set>

#include "layout_error.h"
#include "object_fields.h"

namespace {

constexpr const char* kEntry = "java.util.TreeMap$Entry";
// A red-black tree of 2^31 entries is at most 62 levels deep.
constexpr long long kMaxDepth = 128;
constexpr FieldName kKey{kEntry, "key"}, kValue{kEntry, "value"}, kLeft{kEntry, "left"}, kRight{kEntry, "right"},
    kParent{kEntry, "parent"};

class TreeMapWalk : public EntryWalk {
public:
    TreeMapWalk(ObjectCache& cache, std::string root, long long size)
        : cache_(cache), root_(std::move(root)), size_(size)
    {
    }

    void expect(long long entries) override { expected_ = entries + 1; }

    bool next(CollectionEntry& entry) override
    {
        if (!started_) {
            started_ = true;
            current_ = root_.empty() ? std::string() : leftmost(root_);
        } else if (!current_.empty()) {
            current_ = successor(current_);
        }
        if (current_.empty()) {
            checkCount(counted_, size_, "entries in the tree");
            return false;
        }
        const ObjectView& node = entryAt(current_);
        if (!seen_.insert(current_).second)
            throw LayoutMismatch{"the tree comes back to " + describe(node.object) + " (a cycle)"};
        ++counted_;
        checkNotBeyond(counted_, size_, "entries in the tree");
        entry.key = refField(node, kKey);
        entry.value = refField(node, kValue);
        entry.holder = current_;
        return true;
    }

private:
    const ObjectView& entryAt(const std::string& handle)
    {
        const ObjectView& node = cache_.get(handle);
        expectType(node.object, {kEntry}, "a node of the tree");
        return node;
    }

    // The child's parent link must name the node it hangs from.
    std::string child(const std::string& parent, FieldName side)
    {
        const std::string c = refField(entryAt(parent), side).handle;
        if (!c.empty() && refField(entryAt(c), kParent).handle != parent)
            throw LayoutMismatch{"the " + std::string(side.name) + " child of TreeMap$Entry @" + parent +
                                 " does not name it as its parent"};
        return c;
    }

    // Down the left spine, one read brings the whole spine.
    std::string leftmost(std::string node)
    {
        cache_.follow({"left"}, kMaxDepth);
        for (long long depth = 0;; ++depth) {
            if (depth > kMaxDepth)
                throw LayoutMismatch{"the tree is deeper than a red-black tree can be (a cycle?)"};
            std::string left = child(node, kLeft);
            if (left.empty())
                return node;
            node = std::move(left);
        }
    }

    std::string successor(const std::string& node)
    {
        // Into a right subtree: breadth first below it, a small subtree comes whole.
        cache_.follow({"left", "right"}, expected_);
        std::string right = child(node, kRight);
        if (!right.empty())
            return leftmost(right);
        // Up: the parents come in one read.
        cache_.follow({"parent"}, kMaxDepth);
        std::string ch = node;
        std::string p = refField(entryAt(node), kParent).handle;
        for (long long depth = 0; !p.empty() && refField(entryAt(p), kRight).handle == ch; ++depth) {
            if (depth > kMaxDepth)
                throw LayoutMismatch{"the tree is deeper than a red-black tree can be (a cycle?)"};
            ch = p;
            p = refField(entryAt(p), kParent).handle;
        }
        return p;
    }

    ObjectCache& cache_;
    std::string root_;
    long long size_;
    bool started_ = false;
    std::string current_;
    std::unordered_set<std::string> seen_;
    long long counted_ = 0;
    long long expected_ = 1;
};

}  // namespace

std::unique_ptr<EntryWalk> treeMapWalk(ObjectCache& cache, std::string root, long long size)
{
    return std::make_unique<TreeMapWalk>(cache, std::move(root), size);
}
