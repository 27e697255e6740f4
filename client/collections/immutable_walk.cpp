#include "immutable_walk.h"

#include <cstdint>

#include "array_chunks.h"
#include "layout_error.h"
#include "object_fields.h"

namespace {

constexpr const char* kStaticsClass = "java.util.ImmutableCollections";

const Slot& staticSlot(const ObjectView& view, const char* name)
{
    for (const Slot& slot : view.contents)
        if (slot.how == "static" && slot.name == name)
            return slot;
    throw LayoutMismatch{std::string(kStaticsClass) + " has no static " + name};
}

class ProbedTableWalk : public EntryWalk {
public:
    ProbedTableWalk(ObjectCache& cache, bool pairs, std::string table, long long length, long long size,
                    const ImmutableStatics& statics)
        : slots_(cache, std::move(table), length), pairs_(pairs), size_(size), reverse_(statics.reverse)
    {
        slots_.chunkSize(length);
        // The iterators' starting index, as SetNIterator and MapNIterator compute it.
        const uint64_t n = static_cast<uint64_t>(pairs ? length >> 1 : length);
        index_ = static_cast<long long>((statics.salt * n) >> 32);
        if (pairs)
            index_ <<= 1;
    }

    bool next(CollectionEntry& entry) override
    {
        if (taken_ >= size_)
            return false;
        const long long len = slots_.length();
        const long long step = pairs_ ? 2 : 1;
        for (long long tries = 0;; ++tries) {
            if (tries > len)
                throw LayoutMismatch{"its table @" + slots_.handle() + " holds fewer elements than its size " +
                                     std::to_string(size_)};
            if (reverse_)
                index_ = index_ + step >= len ? 0 : index_ + step;
            else
                index_ = index_ - step < 0 ? len - step : index_ - step;
            if (!slots_.at(index_).handle.empty())
                break;
        }
        entry.key = slots_.at(index_);
        if (pairs_) {
            entry.value = slots_.at(index_ + 1);
            if (entry.value.handle.empty())
                throw LayoutMismatch{"its table @" + slots_.handle() + " has a key without a value at index " +
                                     std::to_string(index_)};
        }
        ++taken_;
        return true;
    }

private:
    ArrayChunks slots_;
    bool pairs_;
    long long size_;
    bool reverse_;
    long long index_ = 0;
    long long taken_ = 0;
};

class FixedWalk : public EntryWalk {
public:
    explicit FixedWalk(std::vector<CollectionEntry> entries) : entries_(std::move(entries)) {}

    bool next(CollectionEntry& entry) override
    {
        if (at_ >= entries_.size())
            return false;
        entry = entries_[at_++];
        return true;
    }

private:
    std::vector<CollectionEntry> entries_;
    size_t at_ = 0;
};

}  // namespace

ImmutableStatics readImmutableStatics(ObjectCache& cache)
{
    Result<std::string> handle = cache.source().classObject(kStaticsClass);
    if (!handle.ok())
        throw SourceFailed{handle.error};
    if (handle.value.empty())
        throw LayoutMismatch{std::string("the class ") + kStaticsClass +
                             " could not be found, and its SALT32L decides the order"};
    const ObjectView& statics = cache.get(handle.value);
    ImmutableStatics s;
    const Slot& salt = staticSlot(statics, "SALT32L");
    const Slot& reverse = staticSlot(statics, "REVERSE");
    char* end = nullptr;
    s.salt = std::strtoull(salt.value.c_str(), &end, 10);
    if (salt.declType != "long" || salt.value.empty() || *end || s.salt > 0xFFFFFFFFull)
        throw LayoutMismatch{std::string(kStaticsClass) + ".SALT32L holds '" + salt.value +
                             "', not a number below 2^32"};
    if (reverse.declType != "boolean" || (reverse.value != "true" && reverse.value != "false"))
        throw LayoutMismatch{std::string(kStaticsClass) + ".REVERSE is not a boolean"};
    s.reverse = reverse.value == "true";
    if (((s.salt & 1) == 0) != s.reverse)
        throw LayoutMismatch{std::string(kStaticsClass) + ".REVERSE does not follow from SALT32L as expected"};
    s.empty = staticSlot(statics, "EMPTY").target.handle;
    if (s.empty.empty())
        throw LayoutMismatch{std::string(kStaticsClass) + ".EMPTY is null"};
    return s;
}

std::vector<CollectionEntry> smallImmutableEntries(const std::string& kind, const ObjectView& view,
                                                   const ImmutableStatics& statics)
{
    std::vector<CollectionEntry> entries;
    if (kind == "java.util.ImmutableCollections$Map1") {
        const char* d = "java.util.ImmutableCollections$Map1";
        CollectionEntry e;
        e.key = refField(view, {d, "k0"});
        e.value = refField(view, {d, "v0"});
        entries.push_back(std::move(e));
        return entries;
    }
    const char* d = kind.c_str();
    ObjectRef e0 = refField(view, {d, "e0"});
    ObjectRef e1 = refField(view, {d, "e1"});
    if (e0.handle.empty() || e1.handle.empty())
        throw LayoutMismatch{describe(view.object) + " holds a null element, which it never does"};
    const bool single = e1.handle == statics.empty;
    const bool swap = kind == "java.util.ImmutableCollections$Set12" && statics.reverse && !single;
    std::vector<ObjectRef> order = single ? std::vector<ObjectRef>{e0} : swap ? std::vector<ObjectRef>{e1, e0}
                                                                              : std::vector<ObjectRef>{e0, e1};
    for (ObjectRef& r : order) {
        CollectionEntry e;
        e.key = std::move(r);
        entries.push_back(std::move(e));
    }
    return entries;
}

std::unique_ptr<EntryWalk> probedTableWalk(ObjectCache& cache, bool pairs, std::string table, long long length,
                                           long long size, const ImmutableStatics& statics)
{
    if (size < 0 || size > (pairs ? length / 2 : length) || (pairs && length % 2 != 0))
        throw LayoutMismatch{"its size " + std::to_string(size) + " does not fit its table of " +
                             std::to_string(length)};
    return std::make_unique<ProbedTableWalk>(cache, pairs, std::move(table), length, size, statics);
}

std::unique_ptr<EntryWalk> fixedWalk(std::vector<CollectionEntry> entries)
{
    return std::make_unique<FixedWalk>(std::move(entries));
}
