// The models' HeapSource on the agent: each fetch is a request on the request runner,
// named for the status bar by what it does. A quiet source's requests (the details pane
// reading the row in view, previews) leave the user's last request in the status bar.
#pragma once

#include <QObject>

#include <memory>

#include "heap_source.h"

class CollectionReaders;
class RequestRunner;

class AgentHeapSource : public HeapSource {
public:
    // Replies are delivered while context lives. Sources that share readers page on
    // through the same collection readers.
    AgentHeapSource(RequestRunner* runner, QObject* context, bool quiet = false,
                    std::shared_ptr<CollectionReaders> readers = {});

    void fetchObject(const ObjectQuery& query, ReplyHandler<ObjectView> done) override;
    void fetchReferrers(const ReferrersQuery& query, ReplyHandler<Referrers> done) override;
    void fetchInstances(const InstancesQuery& query, ReplyHandler<InstancesPage> done) override;
    void fetchCollection(const CollectionQuery& query, ReplyHandler<CollectionPage> done) override;
    // Always quiet: sizes are previews the window reads by itself.
    void fetchCollectionSizes(const std::vector<std::string>& handles,
                              ReplyHandler<std::vector<long long>> done) override;

    // The same for the window's own requests.
    void fetchHistogram(const HistoQuery& query, ReplyHandler<Histogram> done);
    void fetchPath(const PathQuery& query, ReplyHandler<PathReply> done);
    void open(ReplyHandler<Hello> done);

    const std::shared_ptr<CollectionReaders>& readers() const { return readers_; }

private:
    RequestRunner* runner_;
    QObject* context_;
    bool quiet_;
    std::shared_ptr<CollectionReaders> readers_;
};
