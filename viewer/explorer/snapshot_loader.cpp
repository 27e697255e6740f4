#include "snapshot_loader.h"

#include <QMetaObject>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <stdexcept>

#include "snapshot_open.h"

namespace {

// Thrown from the progress callback to leave the reader when the user cancels.
struct LoadCancelled {};

}  // namespace

SnapshotLoader::SnapshotLoader(QObject* parent) : QObject(parent)
{
    connect(&watcher_, &QFutureWatcher<Outcome>::finished, this, &SnapshotLoader::done);
}

SnapshotLoader::~SnapshotLoader()
{
    // The worker holds no pointer to this loader beyond a QPointer, but it reads the file:
    // stop it, and wait, so no thread outlives the window that started it.
    cancel();
    watcher_.waitForFinished();
}

bool SnapshotLoader::open(const QString& file)
{
    if (busy())
        return false;
    file_ = file;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    const std::shared_ptr<std::atomic<bool>> cancel = cancel_;
    const QPointer<SnapshotLoader> self(this);
    const std::string path = file.toStdString();
    watcher_.setFuture(QtConcurrent::run([self, cancel, path]() -> Outcome {
        Outcome outcome;
        OpenOptions options;
        options.progress = [self, cancel](const OpenProgress& p) {
            if (cancel->load())
                throw LoadCancelled{};
            const QString phase = QString::fromStdString(p.phase);
            QMetaObject::invokeMethod(
                self.data(),
                [self, phase, bytes = p.bytes, total = p.total] {
                    if (self)
                        Q_EMIT self->progress(phase, bytes, total);
                },
                Qt::QueuedConnection);
        };
        try {
            outcome.snapshot = openSnapshotFile(path, options);
        } catch (const LoadCancelled&) {
            outcome.cancelled = true;
        } catch (const std::exception& e) {
            outcome.error = QString::fromStdString(e.what());
        } catch (...) {
            outcome.error = QStringLiteral("the file could not be read");
        }
        return outcome;
    }));
    return true;
}

void SnapshotLoader::cancel()
{
    if (cancel_)
        cancel_->store(true);
}

void SnapshotLoader::done()
{
    const Outcome outcome = watcher_.result();
    if (outcome.snapshot)
        Q_EMIT opened(outcome.snapshot, file_);
    else if (outcome.cancelled)
        Q_EMIT cancelled(file_);
    else
        Q_EMIT failed(outcome.error, file_);
}
