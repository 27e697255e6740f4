#include "concurrent_map_walk.h"

#include <cstdint>
#include <map>
#include <unordered_set>
#include <vector>

#include "array_chunks.h"
#include "layout_error.h"
#include "object_fields.h"

namespace {

constexpr const char* kNode = "java.util.concurrent.ConcurrentHashMap$Node";
constexpr const char* kTreeNode = "java.util.concurrent.ConcurrentHashMap$TreeNode";
constexpr const char* kTreeBin = "java.util.concurrent.ConcurrentHashMap$TreeBin";
constexpr const char* kForwarding = "java.util.concurrent.ConcurrentHashMap$ForwardingNode";
constexpr const char* kReservation = "java.util.concurrent.ConcurrentHashMap$ReservationNode";
constexpr FieldName kHash{kNode, "hash"}, kKey{kNode, "key"}, kVal{kNode, "val"}, kNext{kNode, "next"};

struct Table {
    std::string handle;
    long long length = 0;
};

// What the Traverser pushes when it follows a ForwardingNode.
struct SavedTable {
    Table tab;
    long long length;
    long long index;
};

class ConcurrentMapWalk : public EntryWalk {
public:
    ConcurrentMapWalk(ObjectCache& cache, std::string table, long long length, long long size)
        : cache_(cache), size_(size), tab_{std::move(table), length}, baseLimit_(length), baseSize_(length)
    {
        cache_.follow({"next", "first"}, 0);
    }

    void expect(long long entries) override
    {
        expected_ = entries;
        chunk_ = std::max<long long>(256, entries * 2);
        cache_.follow({"next", "first"}, entries + 1);
        // Going on from a page before: the rest of the chunk held is read together.
        cache_.want(next_);
        auto it = tables_.find(tab_.handle);
        if (it != tables_.end() && stack_.empty())
            for (const std::string& h : it->second.heldHandles(index_, 1, expected_))
                cache_.want(h);
    }

    bool next(CollectionEntry& entry) override
    {
        std::string e;
        if (!next_.empty())
            e = refField(cache_.get(next_), kNext).handle;
        for (;;) {
            if (!e.empty()) {
                next_ = e;
                take(e, entry);
                return true;
            }
            const long long n = tab_.length;
            const long long i = index_;
            if (baseIndex_ >= baseLimit_ || tab_.handle.empty() || n <= i || i < 0) {
                next_.clear();
                checkCount(counted_, size_, "entries in the table");
                return false;
            }
            const Table t = tab_;
            const ObjectRef head = bin(t, i);
            chain_.clear();
            binTable_ = t;
            binIndex_ = i;
            if (!head.handle.empty()) {
                const ObjectView& node = cache_.get(head.handle);
                expectType(node.object, {kNode, kTreeBin, kForwarding, kReservation},
                           "the node in bin " + std::to_string(i));
                if (intField(node, kHash) < 0) {
                    if (node.object.type == kForwarding) {
                        const ObjectRef nextTable = refField(node, {kForwarding, "nextTable"});
                        tab_ = {nextTable.handle, lengthOf(nextTable)};
                        stack_.push_back({t, n, i});
                        continue;
                    }
                    e = node.object.type == kTreeBin ? refField(node, {kTreeBin, "first"}).handle : std::string();
                } else {
                    e = head.handle;
                }
            }
            if (!stack_.empty())
                recoverState(n);
            else if ((index_ = i + baseSize_) >= n)
                index_ = ++baseIndex_;
        }
    }

private:
    // Pops back to the tables it came from once a forwarded bin's halves are walked.
    void recoverState(long long n)
    {
        bool emptied = false;
        for (;;) {
            if (stack_.empty()) {
                emptied = true;
                break;
            }
            const SavedTable s = stack_.back();
            if ((index_ += s.length) < n)
                break;
            n = s.length;
            index_ = s.index;
            tab_ = s.tab;
            stack_.pop_back();
        }
        if (emptied && (index_ += baseSize_) >= n)
            index_ = ++baseIndex_;
    }

    long long lengthOf(const ObjectRef& array)
    {
        if (array.handle.empty())
            throw LayoutMismatch{"a ForwardingNode has no nextTable"};
        return cache_.elements(array.handle, 0, 0).length;
    }

    ObjectRef bin(const Table& t, long long i)
    {
        auto it = tables_.find(t.handle);
        if (it == tables_.end())
            it = tables_.emplace(t.handle, ArrayChunks(cache_, t.handle, t.length)).first;
        ArrayChunks& chunks = it->second;
        chunks.chunkSize(chunk_);
        const bool fresh = !chunks.held(i);
        ObjectRef head = chunks.at(i);
        if (fresh && stack_.empty())
            for (const std::string& h : chunks.heldHandles(i, 1, expected_))
                cache_.want(h);
        return head;
    }

    void take(const std::string& handle, CollectionEntry& entry)
    {
        const ObjectView& node = cache_.get(handle);
        expectType(node.object, {kNode, kTreeNode}, "a node of bin " + std::to_string(binIndex_));
        if (!chain_.insert(handle).second)
            throw LayoutMismatch{"the chain of bin " + std::to_string(binIndex_) + " comes back to " +
                                 describe(node.object) + " (a cycle)"};
        const auto hash = static_cast<uint32_t>(static_cast<int32_t>(intField(node, kHash)));
        const long long home = hash & static_cast<uint64_t>(binTable_.length - 1);
        if (home != binIndex_)
            throw LayoutMismatch{describe(node.object) + " has a hash that belongs in bin " + std::to_string(home) +
                                 ", but it is in bin " + std::to_string(binIndex_)};
        ++counted_;
        checkNotBeyond(counted_, size_, "entries in the table");
        entry.key = refField(node, kKey);
        entry.value = refField(node, kVal);
        entry.holder = handle;
    }

    ObjectCache& cache_;
    long long size_;
    Table tab_;
    std::string next_;  // the node returned last
    std::vector<SavedTable> stack_;
    long long index_ = 0, baseIndex_ = 0, baseLimit_, baseSize_;
    std::map<std::string, ArrayChunks> tables_;
    Table binTable_;
    long long binIndex_ = 0;
    std::unordered_set<std::string> chain_;
    long long counted_ = 0;
    long long expected_ = 1;
    long long chunk_ = 4096;
};

}  // namespace

std::unique_ptr<EntryWalk> concurrentMapWalk(ObjectCache& cache, std::string table, long long length, long long size)
{
    return std::make_unique<ConcurrentMapWalk>(cache, std::move(table), length, size);
}
