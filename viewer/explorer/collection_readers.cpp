#include "collection_readers.h"

AgentObjectSource& CollectionReaders::sourceFor(AgentSession& session, int generation)
{
    if (!source_ || generation != generation_) {
        readers_.clear();  // they read through the source of the connection before
        source_ = std::make_unique<AgentObjectSource>(session);
        generation_ = generation;
    }
    return *source_;
}

Result<CollectionPage> CollectionReaders::page(AgentSession& session, int generation, const std::string& handle,
                                               long long offset, long long limit)
{
    AgentObjectSource& source = sourceFor(session, generation);
    auto found = readers_.begin();
    while (found != readers_.end() && found->first != handle)
        ++found;
    if (found == readers_.end()) {
        readers_.emplace_front(handle, std::make_unique<CollectionReader>(source, handle));
        if (readers_.size() > kKept)
            readers_.pop_back();
    } else {
        readers_.splice(readers_.begin(), readers_, found);
    }
    return readers_.front().second->page(offset, limit);
}

Result<std::vector<long long>> CollectionReaders::sizes(AgentSession& session, int generation,
                                                        const std::vector<std::string>& handles)
{
    AgentObjectSource& source = sourceFor(session, generation);
    Result<std::vector<long long>> result;
    result.value.reserve(handles.size());
    for (const std::string& handle : handles) {
        CollectionReader reader(source, handle);
        const Result<CollectionPage> opened = reader.page(0, 0);
        if (!opened.ok())
            return {{}, opened.error};
        result.value.push_back(opened.value.read ? opened.value.size : -1);
    }
    return result;
}
