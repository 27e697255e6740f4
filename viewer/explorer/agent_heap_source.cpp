#include "agent_heap_source.h"

#include "collection_readers.h"
#include "display_text.h"
#include "request_runner.h"

AgentHeapSource::AgentHeapSource(RequestRunner* runner, QObject* context, bool quiet,
                                 std::shared_ptr<CollectionReaders> readers)
    : runner_(runner),
      context_(context),
      quiet_(quiet),
      readers_(readers ? std::move(readers) : std::make_shared<CollectionReaders>())
{
}

void AgentHeapSource::fetchObject(const ObjectQuery& query, ReplyHandler<ObjectView> done)
{
    QString what = QStringLiteral("reading object @") + fromWire(query.handle);
    if (query.offset)
        what += QStringLiteral(" from element ") + countText(*query.offset);
    runner_->run<ObjectView>(
        what, [query](AgentSession& session) { return session.object(query); }, context_, std::move(done), quiet_);
}

void AgentHeapSource::fetchReferrers(const ReferrersQuery& query, ReplyHandler<Referrers> done)
{
    runner_->run<Referrers>(
        QStringLiteral("finding what refers to @") + fromWire(query.handle),
        [query](AgentSession& session) { return session.referrers(query); }, context_, std::move(done), quiet_);
}

void AgentHeapSource::fetchInstances(const InstancesQuery& query, ReplyHandler<InstancesPage> done)
{
    QString what = QStringLiteral("listing the instances of ") + javaTypeText(query.className);
    if (!query.contains.empty())
        what += QStringLiteral(" holding “") + fromWire(query.contains) + QStringLiteral("”");
    runner_->run<InstancesPage>(
        what, [query](AgentSession& session) { return session.instances(query); }, context_, std::move(done), quiet_);
}

void AgentHeapSource::fetchCollection(const CollectionQuery& query, ReplyHandler<CollectionPage> done)
{
    QString what = QStringLiteral("reading the entries of @") + fromWire(query.handle);
    if (query.offset > 0)
        what += QStringLiteral(" from entry ") + countText(query.offset);
    runner_->run<CollectionPage>(
        what,
        [query, readers = readers_, generation = runner_->generation()](AgentSession& session) {
            return readers->page(session, generation, query.handle, query.offset, query.limit);
        },
        context_, std::move(done), quiet_);
}

void AgentHeapSource::fetchCollectionSizes(const std::vector<std::string>& handles,
                                           ReplyHandler<std::vector<long long>> done)
{
    runner_->run<std::vector<long long>>(
        QStringLiteral("reading the sizes of %1 collections").arg(handles.size()),
        [handles, readers = readers_, generation = runner_->generation()](AgentSession& session) {
            return readers->sizes(session, generation, handles);
        },
        context_, std::move(done), true);
}

void AgentHeapSource::fetchHistogram(const HistoQuery& query, ReplyHandler<Histogram> done)
{
    runner_->run<Histogram>(
        QStringLiteral("counting the heap by class"), [query](AgentSession& session) { return session.histo(query); },
        context_, std::move(done), quiet_);
}

void AgentHeapSource::fetchPath(const PathQuery& query, ReplyHandler<PathReply> done)
{
    runner_->run<PathReply>(
        QStringLiteral("finding the path from a GC root to @") + fromWire(query.handle),
        [query](AgentSession& session) { return session.path(query); }, context_, std::move(done), quiet_);
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
        context_, std::move(done), quiet_);
}
