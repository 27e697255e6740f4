// A tree view of a SnapshotTreeModel as the Memory view shows one: the share of the heap
// as a bar, types shortened to fit, notes and "more" rows across the columns, and Enter
// (or a double click) that opens and closes a row, lists the next page at a "more" row,
// or, with objectsSignal, says which object row was activated.
#pragma once

#include <QTreeView>

class SnapshotTreeModel;

class SnapshotTreeView : public QTreeView {
    Q_OBJECT

public:
    SnapshotTreeView(SnapshotTreeModel* model, const QString& name, QWidget* parent);

    SnapshotTreeModel* snapshotModel() const { return model_; }
    // Activating an object row emits objectActivated instead of opening it.
    void setObjectsSignal(bool on) { objectsSignal_ = on; }

Q_SIGNALS:
    void objectActivated(quint32 object);

private:
    void activate(const QModelIndex& index);
    void spanRows(const QModelIndex& parent, int first, int last);

    SnapshotTreeModel* model_;
    bool objectsSignal_ = false;
};
