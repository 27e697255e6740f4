#include "array_walk.h"

#include <algorithm>

#include "array_chunks.h"
#include "layout_error.h"

namespace {

class ArrayWalk : public EntryWalk {
public:
    ArrayWalk(ObjectCache& cache, ArraySpan span) : span_(std::move(span)), elements_(cache, span_.array, span_.length)
    {
    }

    void expect(long long entries) override { elements_.chunkSize(std::max<long long>(64, entries)); }

    bool next(CollectionEntry& entry) override
    {
        if (taken_ >= span_.count)
            return false;
        const long long index = (span_.head + taken_) % span_.length;
        entry.key = elements_.at(index);
        if (!span_.nullsAllowed && entry.key.handle.empty())
            throw LayoutMismatch{"element " + std::to_string(index) + " of @" + span_.array +
                                 " is null inside the collection, which holds no nulls"};
        ++taken_;
        return true;
    }

private:
    ArraySpan span_;
    ArrayChunks elements_;
    long long taken_ = 0;
};

class IdentityTableWalk : public EntryWalk {
public:
    IdentityTableWalk(ObjectCache& cache, std::string table, long long length, long long size, std::string nullKey)
        : slots_(cache, std::move(table), length), size_(size), nullKey_(std::move(nullKey))
    {
    }

    void expect(long long entries) override { slots_.chunkSize(std::max<long long>(256, entries * 4)); }

    bool next(CollectionEntry& entry) override
    {
        for (; index_ + 1 < slots_.length(); index_ += 2) {
            ObjectRef key = slots_.at(index_);
            if (key.handle.empty())
                continue;
            entry.value = slots_.at(index_ + 1);
            entry.key = key.handle == nullKey_ ? ObjectRef{} : std::move(key);
            index_ += 2;
            ++counted_;
            checkNotBeyond(counted_, size_, "keys in the table");
            return true;
        }
        checkCount(counted_, size_, "keys in the table");
        return false;
    }

private:
    ArrayChunks slots_;
    long long size_;
    std::string nullKey_;
    long long index_ = 0;
    long long counted_ = 0;
};

}  // namespace

std::unique_ptr<EntryWalk> arrayWalk(ObjectCache& cache, ArraySpan span)
{
    if (span.count < 0 || span.count > span.length || span.head < 0 || (span.length > 0 && span.head >= span.length))
        throw LayoutMismatch{"its count " + std::to_string(span.count) + " from index " + std::to_string(span.head) +
                             " does not fit its array of " + std::to_string(span.length)};
    return std::make_unique<ArrayWalk>(cache, std::move(span));
}

std::unique_ptr<EntryWalk> identityTableWalk(ObjectCache& cache, std::string table, long long length,
                                             long long size, std::string nullKey)
{
    if (length % 2 != 0)
        throw LayoutMismatch{"its table's length " + std::to_string(length) + " is odd; keys and values come in pairs"};
    return std::make_unique<IdentityTableWalk>(cache, std::move(table), length, size, std::move(nullKey));
}
