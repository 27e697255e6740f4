// The collection readers of one connection, kept between requests so that the next page
// of a big collection goes on from where the last one stopped instead of walking it
// again from its first entry. Used on the request runner's worker thread only.
#pragma once

#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "agent_object_source.h"
#include "collection_reader.h"

class CollectionReaders {
public:
    // Readers kept at most; the one used longest ago goes first.
    static constexpr size_t kKept = 32;

    // A page of the collection with this handle, read over session, the runner's
    // connection number generation: readers of an earlier connection are dropped.
    Result<CollectionPage> page(AgentSession& session, int generation, const std::string& handle, long long offset,
                                long long limit);
    // Each collection's size (-1 when the object is not read as a collection).
    Result<std::vector<long long>> sizes(AgentSession& session, int generation, const std::vector<std::string>& handles);

private:
    AgentObjectSource& sourceFor(AgentSession& session, int generation);

    int generation_ = -1;
    std::unique_ptr<AgentObjectSource> source_;
    std::list<std::pair<std::string, std::unique_ptr<CollectionReader>>> readers_;  // most recent first
};
