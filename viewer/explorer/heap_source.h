// Where the explorer's models get heap data: the agent through the request runner, or
// a test's canned replies. Every answer comes later, on the GUI thread; a model that
// has gone away or moved on in between ignores it.
#pragma once

#include <functional>

#include "client_error.h"
#include "queries.h"
#include "reply_views.h"

template <typename View>
using ReplyHandler = std::function<void(const Result<View>&)>;

class HeapSource {
public:
    virtual ~HeapSource() = default;
    virtual void fetchObject(const ObjectQuery& query, ReplyHandler<ObjectView> done) = 0;
    virtual void fetchReferrers(const ReferrersQuery& query, ReplyHandler<Referrers> done) = 0;
    virtual void fetchInstances(const InstancesQuery& query, ReplyHandler<InstancesPage> done) = 0;
};
