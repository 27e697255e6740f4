// The models' HeapSource on the agent: each fetch is a request on the request runner,
// named for the status bar by what it does.
#pragma once

#include <QObject>

#include "heap_source.h"

class RequestRunner;

class AgentHeapSource : public HeapSource {
public:
    // Replies are delivered while context lives.
    AgentHeapSource(RequestRunner* runner, QObject* context) : runner_(runner), context_(context) {}

    void fetchObject(const ObjectQuery& query, ReplyHandler<ObjectView> done) override;
    void fetchReferrers(const ReferrersQuery& query, ReplyHandler<Referrers> done) override;
    void fetchInstances(const InstancesQuery& query, ReplyHandler<InstancesPage> done) override;

    // The same for the window's own requests.
    void fetchHistogram(const HistoQuery& query, ReplyHandler<Histogram> done);
    void fetchPath(const PathQuery& query, ReplyHandler<PathReply> done);
    void open(ReplyHandler<Hello> done);

private:
    RequestRunner* runner_;
    QObject* context_;
};
