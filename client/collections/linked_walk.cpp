#include "linked_walk.h"

#include <unordered_set>

#include "layout_error.h"

namespace {

class LinkedWalk : public EntryWalk {
public:
    LinkedWalk(ObjectCache& cache, LinkedChain c) : cache_(cache), c_(std::move(c)), node_(c_.first)
    {
        cache_.follow({c_.link.name}, 0);
    }

    void expect(long long entries) override { cache_.follow({c_.link.name}, entries + 1); }

    bool next(CollectionEntry& entry) override
    {
        if (node_.empty()) {
            checkCount(counted_, c_.size, "nodes in the chain");
            return false;
        }
        const std::string handle = node_;
        const ObjectView& node = cache_.get(handle);
        expectType(node.object, c_.nodeTypes, "the node at position " +
                                                                                 std::to_string(counted_));
        if (!seen_.insert(handle).second)
            throw LayoutMismatch{"the chain comes back to " + describe(node.object) + " (a cycle)"};
        ++counted_;
        checkNotBeyond(counted_, c_.size, "nodes in the chain");
        entry.key = refField(node, c_.key);
        if (c_.value.declared)
            entry.value = refField(node, c_.value);
        entry.holder = handle;
        node_ = refField(node, c_.link).handle;
        return true;
    }

private:
    ObjectCache& cache_;
    LinkedChain c_;
    std::string node_;
    std::unordered_set<std::string> seen_;
    long long counted_ = 0;
};

}  // namespace

std::unique_ptr<EntryWalk> linkedWalk(ObjectCache& cache, LinkedChain chain)
{
    return std::make_unique<LinkedWalk>(cache, std::move(chain));
}
