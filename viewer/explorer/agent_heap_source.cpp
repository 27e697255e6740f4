#include "agent_heap_source.h"

#include "display_text.h"
#include "request_runner.h"

void AgentHeapSource::fetchObject(const ObjectQuery& query, ReplyHandler<ObjectView> done)
{
    QString what = QStringLiteral("reading object @") + fromWire(query.handle);
    if (query.offset)
        what += QStringLiteral(" from element ") + countText(*query.offset);
    runner_->run<ObjectView>(
        what, [query](AgentSession& session) { return session.object(query); }, context_, std::move(done));
}

void AgentHeapSource::fetchReferrers(const ReferrersQuery& query, ReplyHandler<Referrers> done)
{
    runner_->run<Referrers>(
        QStringLiteral("finding what refers to @") + fromWire(query.handle),
        [query](AgentSession& session) { return session.referrers(query); }, context_, std::move(done));
}

void AgentHeapSource::fetchInstances(const InstancesQuery& query, ReplyHandler<InstancesPage> done)
{
    runner_->run<InstancesPage>(
        QStringLiteral("listing the instances of ") + javaTypeText(query.className),
        [query](AgentSession& session) { return session.instances(query); }, context_, std::move(done));
}

void AgentHeapSource::fetchHistogram(const HistoQuery& query, ReplyHandler<Histogram> done)
{
    runner_->run<Histogram>(
        QStringLiteral("counting the heap by class"), [query](AgentSession& session) { return session.histo(query); },
        context_, std::move(done));
}

void AgentHeapSource::fetchPath(const PathQuery& query, ReplyHandler<PathReply> done)
{
    runner_->run<PathReply>(
        QStringLiteral("finding the path from a GC root to @") + fromWire(query.handle),
        [query](AgentSession& session) { return session.path(query); }, context_, std::move(done));
}

void AgentHeapSource::open(ReplyHandler<Hello> done)
{
    runner_->run<Hello>(
        QStringLiteral("connecting"),
        [](AgentSession& session) {
            Result<Hello> result;
            result.error = session.open();
            result.value = session.hello();
            return result;
        },
        context_, std::move(done));
}
