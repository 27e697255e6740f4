#include "chain_table_walk.h"

#include <cstdint>
#include <unordered_set>

#include "array_chunks.h"
#include "layout_error.h"

namespace {

class ChainTableWalk : public EntryWalk {
public:
    ChainTableWalk(ObjectCache& cache, ChainTable t)
        : cache_(cache), t_(std::move(t)), bins_(cache, t_.table, t_.length), bin_(t_.descending ? t_.length : -1)
    {
        cache_.follow({t_.next.name}, 0);
    }

    void expect(long long entries) override
    {
        expected_ = entries;
        bins_.chunkSize(std::max<long long>(256, entries * 2));
        cache_.follow({t_.next.name}, entries + 1);
        // Going on from a page before: the rest of the chunk held is read together.
        const int step = t_.descending ? -1 : 1;
        cache_.want(node_);
        for (const std::string& head : bins_.heldHandles(bin_ + step, step, expected_))
            cache_.want(head);
    }

    bool next(CollectionEntry& entry) override
    {
        for (;;) {
            if (!node_.empty()) {
                if (readNode(entry))
                    return true;
                continue;
            }
            const int step = t_.descending ? -1 : 1;
            bin_ += step;
            if (bin_ < 0 || bin_ >= t_.length) {
                bin_ = t_.descending ? -1 : t_.length;
                checkCount(counted_, t_.size, "entries in the table");
                return false;
            }
            const bool fresh = !bins_.held(bin_);
            node_ = bins_.at(bin_).handle;
            if (fresh)
                for (const std::string& head : bins_.heldHandles(bin_, step, expected_))
                    cache_.want(head);
            chain_.clear();
        }
    }

private:
    // Takes the node at node_ and moves on along its chain; false for a node not shown.
    bool readNode(CollectionEntry& entry)
    {
        const std::string handle = node_;
        const ObjectView& node = cache_.get(handle);
        const std::string where = "bin " + std::to_string(bin_);
        expectType(node.object, t_.nodeTypes, "the node in " + where);
        if (!chain_.insert(handle).second)
            throw LayoutMismatch{"the chain of " + where + " comes back to " + describe(node.object) + " (a cycle)"};
        const auto hash = static_cast<uint32_t>(static_cast<int32_t>(intField(node, t_.hash)));
        const long long home = t_.moduloBins ? (hash & 0x7FFFFFFFu) % static_cast<uint64_t>(t_.length)
                                             : hash & static_cast<uint64_t>(t_.length - 1);
        if (home != bin_)
            throw LayoutMismatch{describe(node.object) + " has a hash that belongs in bin " + std::to_string(home) +
                                 ", but it is in " + where};
        ++counted_;
        checkNotBeyond(counted_, t_.size, "entries in the table");
        ObjectRef key = refField(node, t_.key);
        entry.value = refField(node, t_.value);
        node_ = refField(node, t_.next).handle;
        if (t_.weakKeys && key.handle.empty())
            return false;  // cleared by the collector: the iterator skips it
        if (!t_.nullKey.empty() && key.handle == t_.nullKey)
            key = {};
        entry.key = std::move(key);
        entry.holder = handle;
        return true;
    }

    ObjectCache& cache_;
    ChainTable t_;
    ArrayChunks bins_;
    long long bin_;
    std::string node_;  // the next node of the current chain; empty: go to the next bin
    std::unordered_set<std::string> chain_;
    long long counted_ = 0;
    long long expected_ = 1;
};

}  // namespace

std::unique_ptr<EntryWalk> chainTableWalk(ObjectCache& cache, ChainTable table)
{
    return std::make_unique<ChainTableWalk>(cache, std::move(table));
}
