// Opens a heap dump file as a snapshot on a thread of its own, so the window's event loop
// goes on while the file is read and analysed: progress comes as signals on the GUI
// thread, and so does the snapshot, or the reason there is none. One file at a time; a
// cancelled opening stops at the reader's next progress call.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class Snapshot;

class SnapshotLoader : public QObject {
    Q_OBJECT

public:
    explicit SnapshotLoader(QObject* parent = nullptr);
    ~SnapshotLoader() override;

    // False, changing nothing, while another file is being opened.
    bool open(const QString& file);
    void cancel();
    bool busy() const { return watcher_.isRunning(); }
    const QString& file() const { return file_; }

Q_SIGNALS:
    // phase: "reading", "computing retained sizes"...; bytes of total read so far.
    void progress(const QString& phase, quint64 bytes, quint64 total);
    void opened(std::shared_ptr<const Snapshot> snapshot, const QString& file);
    void failed(const QString& why, const QString& file);
    void cancelled(const QString& file);

private:
    struct Outcome {
        std::shared_ptr<const Snapshot> snapshot;
        QString error;
        bool cancelled = false;
    };
    void done();

    QFutureWatcher<Outcome> watcher_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    QString file_;
};
