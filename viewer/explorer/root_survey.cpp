#include "root_survey.h"

#include <QElapsedTimer>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include <set>

#include "agent_client.h"
#include "display_text.h"

namespace {

// Class objects get handles from here up (see docs/protocol.md).
constexpr unsigned long kFirstClassHandle = 0x40000000;
constexpr int kBatchRoots = 25;
constexpr qint64 kBatchMs = 250;

bool isClassHandle(const std::string& handle)
{
    return std::strtoul(handle.c_str(), nullptr, 16) >= kFirstClassHandle;
}

std::string whereOf(const GcRoot& root)
{
    std::string where = root.thread;
    if (!root.method.empty())
        where += (where.empty() ? "" : " in ") + root.method;
    return where;
}

void survey(QPromise<SurveyBatch>& promise, int port, std::shared_ptr<AgentSession> session)
{
    SurveyBatch batch;
    AgentClient client(port);
    client.connectIfNeeded();
    if (!client.connected()) {
        batch.error = {Failure::unreachable, {}, "cannot reach the agent on port " + std::to_string(port)};
        promise.addResult(batch);
        return;
    }
    const ReplyLines lines = client.getClasses('p', {});
    std::vector<RootEntry> roots;
    for (size_t i = 0; i < lines.size(); ++i) {
        RootEntry entry;
        if (rootEntryFrom(lines[i], entry))
            roots.push_back(std::move(entry));
    }
    batch.total = static_cast<long long>(roots.size());
    promise.addResult(batch);  // the listing is in: what comes after may list handles

    QElapsedTimer sinceBatch;
    sinceBatch.start();
    for (size_t i = 0; i < roots.size(); ++i) {
        if (promise.isCanceled())
            return;
        if (batch.walkMs >= RootSurvey::kPauseBudgetMs) {
            batch.unsorted.assign(roots.begin() + static_cast<long>(i), roots.end());
            break;
        }
        const Result<Referrers> reply = session->referrers({roots[i].handle, 1});
        if (!reply.ok() && reply.error.code != "not-found") {
            batch.error = reply.error;
            batch.unsorted.assign(roots.begin() + static_cast<long>(i), roots.end());
            break;
        }
        batch.walkMs += std::max(0.0, figureNumber(reply.value.figures, "walk_ms", 0));
        std::set<std::string> kinds;  // a root held twice the same way is listed once
        for (const GcRoot& root : reply.value.roots)
            if (kinds.insert(root.kind).second)
                batch.sorted.push_back({root.kind, whereOf(root), roots[i]});
        if (kinds.empty())
            batch.sorted.push_back({{}, {}, roots[i]});
        batch.surveyed = static_cast<long long>(i) + 1;
        if (batch.sorted.size() >= kBatchRoots || sinceBatch.elapsed() >= kBatchMs) {
            promise.addResult(batch);
            batch.sorted.clear();
            sinceBatch.restart();
        }
    }
    promise.addResult(batch);
}

}  // namespace

bool rootEntryFrom(std::string_view line, RootEntry& entry)
{
    const size_t blank = line.find(' ');
    if (blank == 0 || blank == std::string_view::npos)
        return false;
    std::string_view signature = line.substr(blank + 1);
    while (!signature.empty() && signature.back() == ' ')
        signature.remove_suffix(1);
    entry.handle = std::string(line.substr(0, blank));
    // The listing names a class object by the class it is.
    if (isClassHandle(entry.handle)) {
        entry.type = "java.lang.Class";
        entry.preview = "class " + typeFromSignature(signature);
    } else {
        entry.type = typeFromSignature(signature);
        entry.preview.clear();
    }
    return true;
}

RootSurvey::RootSurvey(QObject* parent) : QObject(parent), pool_(std::make_unique<QThreadPool>())
{
    pool_->setMaxThreadCount(1);
}

RootSurvey::~RootSurvey()
{
    stop();
    // The classic client has no time-out: a "p" that an agent never answers must not
    // hold the program at exit, so a pool still busy then is left to the process's end.
    if (!pool_->waitForDone(2000))
        (void)pool_.release();
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
    watcher->setFuture(QtConcurrent::run(pool_.get(), survey, port, session_));
}
