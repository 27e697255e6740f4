#include "root_survey.h"

#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

namespace {

std::string whereOf(const GcRoot& root)
{
    std::string where = root.thread;
    if (!root.method.empty())
        where += (where.empty() ? "" : " in ") + root.method;
    return where;
}

// Pages of the agent's root listing: one walk per page, each row with its root kind.
constexpr long long kPage = 2000;

void survey(QPromise<SurveyBatch>& promise, std::shared_ptr<AgentSession> session)
{
    SurveyBatch batch;
    for (long long offset = 0;; offset += kPage) {
        if (promise.isCanceled())
            return;
        RootsQuery query;
        query.offset = offset;
        query.limit = kPage;
        const Result<RootsPage> page = session->roots(query);
        if (!page.ok()) {
            batch.error = page.error;
            promise.addResult(batch);
            return;
        }
        batch.total = page.value.total;
        batch.walkMs += std::max(0.0, figureNumber(page.value.figures, "walk_ms", 0));
        for (const HeldRoot& held : page.value.rows) {
            RootEntry entry{held.object.handle, held.object.type, held.object.preview};
            batch.sorted.push_back({held.root.kind, whereOf(held.root), entry, held.root});
        }
        batch.surveyed += static_cast<long long>(page.value.rows.size());
        promise.addResult(batch);
        batch.sorted.clear();
        if (page.value.rows.empty() || offset + kPage >= batch.total)
            return;
    }
}

}  // namespace

RootSurvey::RootSurvey(QObject* parent) : QObject(parent), pool_(std::make_unique<QThreadPool>())
{
    pool_->setMaxThreadCount(1);
}

RootSurvey::~RootSurvey()
{
    stop();  // aborts the request in progress
    pool_->waitForDone();
}

void RootSurvey::stop()
{
    if (current_) {
        current_->cancel();
        current_->deleteLater();
        current_ = nullptr;
    }
    if (session_)
        session_->abort();
}

void RootSurvey::start(int port)
{
    stop();
    session_ = std::make_shared<AgentSession>(port);
    auto* watcher = new QFutureWatcher<SurveyBatch>(this);
    current_ = watcher;
    connect(watcher, &QFutureWatcher<SurveyBatch>::resultReadyAt, this, [this, watcher](int i) {
        if (watcher != current_)
            return;
        if (i == 0)
            Q_EMIT rootsListed();
        Q_EMIT batchReady(watcher->resultAt(i));
    });
    connect(watcher, &QFutureWatcher<SurveyBatch>::finished, this, [this, watcher] {
        if (watcher != current_)
            return;
        current_ = nullptr;
        watcher->deleteLater();
        Q_EMIT finished();
    });
    watcher->setFuture(QtConcurrent::run(pool_.get(), survey, session_));
}
