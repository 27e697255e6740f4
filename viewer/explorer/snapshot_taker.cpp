#include "snapshot_taker.h"

#include <QFutureWatcher>
#include <QMetaObject>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <stdexcept>

#include "capture_cancel.h"
#include "capture_error.h"
#include "display_text.h"
#include "heap_capture.h"
#include "agent_session.h"
#include "hprof_error.h"
#include "live_chain.h"
#include "snapshot_queries.h"

namespace {

// Thrown from the analysis' progress callback to leave it when the user cancels.
struct Cancelled {};

QString pauseSentence(const CaptureReport& report)
{
    if (!report.pauseKnown)
        return QObject::tr("how long the program was paused is unknown (its VM keeps no performance data)");
    return QObject::tr("the program was paused %1 (%2 safepoints)")
        .arg(durationText(report.pause.ms), countText(report.pause.safepoints));
}

}  // namespace

// What a capture on the worker thread ends with (outside the anonymous namespace: the
// State below, declared in the header, holds a watcher of it).
struct TakerOutcome {
    std::shared_ptr<const Snapshot> snapshot;
    QString pause;
    QString error;
    bool cancelled = false;
};

struct SnapshotTaker::State {
    QFutureWatcher<TakerOutcome> watcher;
    std::shared_ptr<CaptureCancel> cancel;
    long pid = 0;
};

SnapshotTaker::SnapshotTaker(QObject* parent) : QObject(parent), state_(std::make_unique<State>())
{
    connect(&state_->watcher, &QFutureWatcher<TakerOutcome>::finished, this, [this] {
        const TakerOutcome outcome = state_->watcher.result();
        if (outcome.snapshot)
            Q_EMIT taken(outcome.snapshot, state_->pid, outcome.pause);
        else if (outcome.cancelled)
            Q_EMIT cancelled();
        else
            Q_EMIT failed(outcome.error);
    });
}

SnapshotTaker::~SnapshotTaker()
{
    // The capture's pipe and directory go with it; no thread outlives the window.
    cancel();
    state_->watcher.waitForFinished();
}

bool SnapshotTaker::busy() const
{
    return state_->watcher.isRunning();
}

void SnapshotTaker::cancel()
{
    if (state_->cancel)
        state_->cancel->cancel();
}

bool SnapshotTaker::take(long pid)
{
    if (busy() || pid <= 0)
        return false;
    std::shared_ptr<CaptureCancel> cancel;
    try {
        cancel = std::make_shared<CaptureCancel>();
    } catch (const std::exception& e) {
        Q_EMIT failed(QString::fromStdString(e.what()));
        return false;
    }
    state_->cancel = cancel;
    state_->pid = pid;
    const QPointer<SnapshotTaker> self(this);
    auto report = [self](const QString& phase, quint64 bytes, quint64 total) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, phase, bytes, total] {
                if (self)
                    Q_EMIT self->progress(phase, bytes, total);
            },
            Qt::QueuedConnection);
    };
    state_->watcher.setFuture(QtConcurrent::run([cancel, pid, report]() -> TakerOutcome {
        TakerOutcome outcome;
        try {
            CaptureOptions options;
            options.cancel = cancel.get();
            options.progress = [&report](const CaptureProgress& p) {
                if (p.phase == CapturePhase::Done)
                    return;
                QString phase = p.phase == CapturePhase::Dumping && !p.waitingFor.empty()
                                    ? QString::fromStdString(p.waitingFor)
                                    : QString::fromUtf8(capturePhaseName(p.phase));
                report(phase, p.bytes, p.heapUsed);
            };
            LiveSnapshot live = captureHeap(pid, options);
            outcome.pause = pauseSentence(live.report);
            live.index.summary.notes.insert(live.index.summary.notes.begin(),
                                            "taken live from process " + std::to_string(pid) + "; " +
                                                outcome.pause.toStdString());
            SnapshotOptions analysis;
            analysis.progress = [&report, cancel](const std::string& step) {
                if (cancel->cancelled())
                    throw Cancelled{};
                report(QString::fromStdString(step), 0, 0);
            };
            // No values: the stream cannot be read a second time.
            outcome.snapshot = std::make_shared<const Snapshot>(std::move(live.index), ValueReader{}, analysis);
        } catch (const Cancelled&) {
            outcome.cancelled = true;
        } catch (const CaptureError& e) {
            outcome.cancelled = e.failure() == CaptureFailure::cancelled;
            outcome.error = QString::fromStdString(e.what());
        } catch (const HprofError& e) {
            outcome.error = QObject::tr("the heap dump of process %1 could not be read: %2").arg(pid).arg(e.what());
        } catch (const std::exception& e) {
            outcome.error = QString::fromStdString(e.what());
        }
        return outcome;
    }));
    return true;
}

LiveLookup SnapshotTaker::liveLookup(const Snapshot& snapshot, uint32_t object, QString& why)
{
    const HeapIndex& index = snapshot.index();
    const LiveChainResult found = liveChainTo(index, snapshot.analysis().paths.pathTo(index.graph, object));
    if (!found.chain) {
        why = tr("it cannot be found again in the running program: %1").arg(QString::fromStdString(found.why));
        return {};
    }
    return [query = found.chain->query](AgentSession& session) {
        Result<ObjectRef> result;
        const Result<FollowReply> reply = session.follow(query);
        if (!reply.ok()) {
            result.error = reply.error;
        } else if (!reply.value.found || reply.value.chain.empty()) {
            result.error.failure = Failure::agentError;
            result.error.code = "not-found";
            result.error.message = "the heap has changed since the snapshot: " +
                                   (reply.value.notes.empty() ? std::string("the chain broke off") : reply.value.notes.front());
        } else {
            result.value = reply.value.chain.back().object;
        }
        return result;
    };
}
