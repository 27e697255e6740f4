// Reads a snapshot object's details for the details pane. What the snapshot knows at once
// (type, sizes) shows at once; the fields and values follow from show(), which reads a
// dump file again from its start: on a thread of its own, once the selection has settled,
// one at a time, the latest object wanted next, so moving through rows starts no pass
// per row and never blocks the window.
#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

class DetailsPane;
class Snapshot;

class SnapshotDetailsReader : public QObject {
    Q_OBJECT

public:
    static constexpr int kSettleMs = 150;

    SnapshotDetailsReader(DetailsPane* pane, QObject* parent);

    void show(std::shared_ptr<const Snapshot> snapshot, quint32 object);
    // The pane shows something else now: a read under way is not shown.
    void forget();
    bool busy() const { return busy_; }

Q_SIGNALS:
    void shown(quint32 object);

private:
    void read();

    DetailsPane* pane_;
    QTimer settle_;
    std::shared_ptr<const Snapshot> snapshot_;
    quint32 object_ = UINT32_MAX;
    bool busy_ = false;
};
