// A tree view of a HeapTreeModel as every explorer page shows one: uniform rows, notes
// and "more" rows across the columns, and Enter (or a double click) that opens and
// closes rows, lists the next page at a "more" row and retries a failed one.
#pragma once

#include <QTreeView>

class HeapTreeModel;

class HeapTreeView : public QTreeView {
    Q_OBJECT

public:
    // What activating an object row does: open and close it in place, or say so
    // (objectActivated) for the page to act on.
    enum class ObjectRows { toggle, signal };

    HeapTreeView(HeapTreeModel* model, const QString& name, ObjectRows objectRows, QWidget* parent);

    HeapTreeModel* heapModel() const { return model_; }

Q_SIGNALS:
    void objectActivated(const QModelIndex& row);

private:
    void activate(const QModelIndex& index);

    HeapTreeModel* model_;
    ObjectRows objectRows_;
};
