// Where the explorer's models get heap data: the agent through the request runner, or
// a test's canned replies. Every answer comes later, on the GUI thread; a model that
// has gone away or moved on in between ignores it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "client_error.h"
#include "collection_page.h"
#include "queries.h"
#include "reply_views.h"

template <typename View>
using ReplyHandler = std::function<void(const Result<View>&)>;

// A page of a collection's entries, in the order a Java program iterating it sees them.
struct CollectionQuery {
    std::string handle;
    long long offset = 0;
    long long limit = 1000;
};

class HeapSource {
public:
    virtual ~HeapSource() = default;
    virtual void fetchObject(const ObjectQuery& query, ReplyHandler<ObjectView> done) = 0;
    virtual void fetchReferrers(const ReferrersQuery& query, ReplyHandler<Referrers> done) = 0;
    virtual void fetchInstances(const InstancesQuery& query, ReplyHandler<InstancesPage> done) = 0;
    // A page whose `read` is false says the object is to be shown as its fields.
    virtual void fetchCollection(const CollectionQuery& query, ReplyHandler<CollectionPage> done) = 0;
    // For previews: each collection's size, -1 for an object not read as a collection.
    virtual void fetchCollectionSizes(const std::vector<std::string>& handles,
                                      ReplyHandler<std::vector<long long>> done) = 0;
};
