// A HeapSource for the explorer's model tests: it keeps every request and its handler,
// and the test answers them when it chooses, as the agent would later.
#pragma once

#include <vector>

#include "heap_source.h"

struct FakeHeapSource : HeapSource {
    template <typename Query, typename View>
    struct Pending {
        Query query;
        ReplyHandler<View> done;
    };

    std::vector<Pending<ObjectQuery, ObjectView>> objects;
    std::vector<Pending<ReferrersQuery, Referrers>> referrers;
    std::vector<Pending<InstancesQuery, InstancesPage>> instances;
    std::vector<Pending<CollectionQuery, CollectionPage>> collections;
    std::vector<Pending<std::vector<std::string>, std::vector<long long>>> sizes;

    void fetchObject(const ObjectQuery& query, ReplyHandler<ObjectView> done) override
    {
        objects.push_back({query, std::move(done)});
    }
    void fetchReferrers(const ReferrersQuery& query, ReplyHandler<Referrers> done) override
    {
        referrers.push_back({query, std::move(done)});
    }
    void fetchInstances(const InstancesQuery& query, ReplyHandler<InstancesPage> done) override
    {
        instances.push_back({query, std::move(done)});
    }
    void fetchCollection(const CollectionQuery& query, ReplyHandler<CollectionPage> done) override
    {
        collections.push_back({query, std::move(done)});
    }
    void fetchCollectionSizes(const std::vector<std::string>& handles,
                              ReplyHandler<std::vector<long long>> done) override
    {
        sizes.push_back({handles, std::move(done)});
    }

    template <typename View>
    static Result<View> ok(View view)
    {
        Result<View> result;
        result.value = std::move(view);
        return result;
    }
    template <typename View>
    static Result<View> failure(Failure kind, const std::string& message)
    {
        Result<View> result;
        result.error = {kind, {}, message};
        return result;
    }
};
