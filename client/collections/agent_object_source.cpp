#include "agent_object_source.h"

#include <deque>
#include <unordered_set>

namespace {

// The most handles one `objects` request names; a bigger batch goes in several.
constexpr size_t kHandlesPerRequest = 5000;
// The most objects the agent lists in one reply (its max= bound).
constexpr long long kMostListed = 100000;

}  // namespace

Result<std::vector<ObjectView>> AgentObjectSource::read(const ObjectBatch& batch)
{
    if (ClientError e = session_.open(); e.failed())
        return {{}, e};
    if (!session_.serves("objects"))
        return readOneByOne(batch);
    Result<std::vector<ObjectView>> all;
    for (size_t first = 0; first < batch.handles.size(); first += kHandlesPerRequest) {
        ObjectsQuery query;
        const size_t end = std::min(batch.handles.size(), first + kHandlesPerRequest);
        query.handles.assign(batch.handles.begin() + static_cast<long>(first), batch.handles.begin() + static_cast<long>(end));
        if (first == 0) {  // the chains follow from the first request's objects
            query.follow = batch.follow;
            query.max = std::min(kMostListed, std::max<long long>(batch.max, static_cast<long long>(query.handles.size())));
        }
        query.offset = batch.offset;
        query.limit = batch.limit;
        Result<std::vector<ObjectView>> part = session_.objects(query);
        if (!part.ok())
            return part;
        for (ObjectView& view : part.value)
            all.value.push_back(std::move(view));
    }
    return all;
}

Result<std::vector<ObjectView>> AgentObjectSource::readOneByOne(const ObjectBatch& batch)
{
    Result<std::vector<ObjectView>> result;
    std::deque<std::string> queue(batch.handles.begin(), batch.handles.end());
    std::unordered_set<std::string> listed;
    const long long max = std::max<long long>(batch.max, static_cast<long long>(batch.handles.size()));
    while (!queue.empty() && static_cast<long long>(result.value.size()) < max) {
        const std::string handle = queue.front();
        queue.pop_front();
        if (!listed.insert(handle).second)
            continue;
        Result<ObjectView> one = session_.object({handle, batch.offset, batch.limit});
        if (!one.ok()) {
            if (one.error.code == "not-found")
                continue;  // gone: left out, as the batch request leaves it out
            return {{}, one.error};
        }
        for (const Slot& slot : one.value.contents)
            for (const std::string& field : batch.follow)
                if (slot.how == "field" && slot.name == field && slot.refersToObject())
                    queue.push_back(slot.target.handle);
        result.value.push_back(std::move(one.value));
    }
    return result;
}

Result<std::string> AgentObjectSource::classObject(const std::string& className)
{
    if (ClientError e = session_.open(); e.failed())
        return {{}, e};
    if (!session_.serves("class"))
        return {};
    Result<std::vector<ObjectRef>> classes = session_.classObjects({className});
    if (!classes.ok())
        return {{}, classes.error.code == "not-found" ? ClientError{} : classes.error};
    // The boot loader's class comes first; the JDK's collections are the boot loader's.
    return {classes.value.empty() ? std::string() : classes.value.front().handle, {}};
}
