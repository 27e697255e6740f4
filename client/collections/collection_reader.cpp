#include "collection_reader.h"

#include <algorithm>

#include "collection_kinds.h"
#include "entry_walk.h"
#include "layout_error.h"
#include "object_cache.h"

namespace {

constexpr long long kMaxPage = 100000;

}  // namespace

CollectionReader::CollectionReader(ObjectSource& source, std::string handle)
    : handle_(std::move(handle)), cache_(std::make_unique<ObjectCache>(source))
{
}

CollectionReader::~CollectionReader() = default;

bool CollectionReader::readsType(const std::string& type)
{
    return isCollectionType(type);
}

void CollectionReader::restart()
{
    walk_.reset();
    opened_.reset();
    position_ = 0;
    ended_ = false;
}

CollectionPage CollectionReader::readPage(long long offset, long long limit)
{
    cache_->clear();
    // The first page reads the collection afresh: a live one may have changed.
    if (offset == 0 || !opened_ || offset < position_)
        restart();
    CollectionPage page;
    if (!opened_) {
        std::optional<OpenedCollection> opened = openCollection(*cache_, handle_);
        if (!opened)
            return page;
        opened_ = std::make_unique<OpenedCollection>(std::move(*opened));
    }
    const OpenedCollection& c = *opened_;
    page.read = true;
    page.kind = c.kind;
    page.shape = c.shape;
    page.handle = c.handle;
    page.unwrapped = c.unwrapped;
    page.size = c.size;
    page.capacity = c.capacity;
    page.offset = offset;
    if (!walk_)
        walk_ = c.walk();
    walk_->expect(offset - position_ + limit);
    CollectionEntry entry;
    while (position_ < offset && !ended_) {
        if (walk_->next(entry))
            ++position_;
        else
            ended_ = true;
    }
    while (static_cast<long long>(page.entries.size()) < limit && !ended_) {
        entry = CollectionEntry{};
        if (!walk_->next(entry)) {
            ended_ = true;
            break;
        }
        entry.position = position_++;
        page.entries.push_back(std::move(entry));
    }
    // At the count the collection gives, one step more confirms the end and its count.
    if (!ended_ && position_ >= c.size) {
        CollectionEntry beyond;
        if (walk_->next(beyond))
            throw LayoutMismatch{"it has more entries than its size " + std::to_string(c.size)};
        ended_ = true;
    }
    page.complete = ended_;
    return page;
}

Result<CollectionPage> CollectionReader::page(long long offset, long long limit)
{
    Result<CollectionPage> result;
    offset = std::max<long long>(0, offset);
    limit = std::clamp<long long>(limit, 0, kMaxPage);
    try {
        result.value = readPage(offset, limit);
    } catch (const LayoutMismatch& mismatch) {
        restart();
        result.value = CollectionPage{};
        result.value.handle = handle_;
        result.value.note = "shown as its fields: " + mismatch.why;
    } catch (const SourceFailed& failed) {
        restart();
        result.error = failed.error;
    }
    cache_->clear();
    return result;
}

std::string entryLabel(const ObjectRef& object)
{
    if (object.handle.empty())
        return "null";
    if (!object.preview.empty())
        return object.preview;
    return object.type + "@" + object.handle;
}
