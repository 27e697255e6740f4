#include "object_cache.h"

#include <algorithm>

#include "layout_error.h"

namespace {

// How many objects one read may name besides the one missed.
constexpr size_t kMaxWanted = 4000;

}  // namespace

std::vector<ObjectView> ObjectCache::readBatch(ObjectBatch batch)
{
    ++reads_;
    Result<std::vector<ObjectView>> result = source_.read(batch);
    if (!result.ok())
        throw SourceFailed{result.error};
    return std::move(result.value);
}

const ObjectView& ObjectCache::get(const std::string& handle)
{
    if (auto it = held_.find(handle); it != held_.end())
        return it->second;
    ObjectBatch batch;
    batch.handles.push_back(handle);
    while (!wanted_.empty() && batch.handles.size() <= kMaxWanted) {
        std::string next = std::move(wanted_.front());
        wanted_.pop_front();
        wantedSet_.erase(next);
        if (next != handle && !held_.count(next))
            batch.handles.push_back(std::move(next));
    }
    batch.follow = follow_;
    // Room for the chains beyond the objects named.
    batch.max = followMax_ + static_cast<long long>(batch.handles.size());
    batch.limit = 0;  // arrays read as nodes are read for their length only
    std::vector<std::string> fetched;
    for (ObjectView& view : readBatch(std::move(batch))) {
        fetched.push_back(view.object.handle);
        std::string key = view.object.handle;
        held_.insert_or_assign(std::move(key), std::move(view));
    }
    // Chains cut short by max come whole with the next miss, not one node a read.
    for (const std::string& h : fetched)
        for (const Slot& slot : held_[h].contents)
            if (slot.how == "field" && slot.refersToObject() &&
                std::find(follow_.begin(), follow_.end(), slot.name) != follow_.end())
                want(slot.target.handle);
    if (auto it = held_.find(handle); it != held_.end())
        return it->second;
    throw LayoutMismatch{"the object @" + handle + " is gone (collected since it was read)"};
}

void ObjectCache::want(const std::string& handle)
{
    if (handle.empty() || held_.count(handle) || !wantedSet_.insert(handle).second)
        return;
    wanted_.push_back(handle);
}

void ObjectCache::follow(std::vector<std::string> fields, long long max)
{
    follow_ = std::move(fields);
    followMax_ = max;
}

ObjectView ObjectCache::elements(const std::string& array, long long offset, long long limit)
{
    ObjectBatch batch;
    batch.handles.push_back(array);
    batch.max = 1;
    batch.offset = offset;
    batch.limit = limit;
    std::vector<ObjectView> views = readBatch(std::move(batch));
    for (ObjectView& view : views)
        if (view.object.handle == array)
            return std::move(view);
    throw LayoutMismatch{"the array @" + array + " is gone (collected since it was read)"};
}

void ObjectCache::clear()
{
    held_.clear();
    wanted_.clear();
    wantedSet_.clear();
}
