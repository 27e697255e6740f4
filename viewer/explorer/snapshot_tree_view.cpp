#include "snapshot_tree_view.h"

#include <QHeaderView>

#include "share_bar_delegate.h"
#include "snapshot_tree_model.h"
#include "tree_view_habits.h"
#include "type_name_delegate.h"

SnapshotTreeView::SnapshotTreeView(SnapshotTreeModel* model, const QString& name, QWidget* parent)
    : QTreeView(parent), model_(model)
{
    setObjectName(name);
    setModel(model);
    setTreeViewHabits(this);
    QHeaderView* columns = header();
    columns->resizeSection(SnapshotTreeModel::ObjectColumn, 290);
    columns->resizeSection(SnapshotTreeModel::TypeColumn, 210);
    columns->resizeSection(SnapshotTreeModel::ShallowColumn, 70);
    columns->resizeSection(SnapshotTreeModel::RetainedColumn, 80);
    columns->resizeSection(SnapshotTreeModel::ShareColumn, 110);
    setItemDelegateForColumn(SnapshotTreeModel::TypeColumn, new TypeNameDelegate(this));
    setItemDelegateForColumn(SnapshotTreeModel::ShareColumn, new ShareBarDelegate(SnapshotTreeModel::ShareRole, this));
    connect(model, &QAbstractItemModel::rowsInserted, this, &SnapshotTreeView::spanRows);
    connect(model, &QAbstractItemModel::modelReset, this, [this] { spanRows({}, 0, model_->rowCount() - 1); });
    connect(this, &QAbstractItemView::activated, this, &SnapshotTreeView::activate);
}

void SnapshotTreeView::spanRows(const QModelIndex& parent, int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model_->index(row, 0, parent);
        // Sentences (notes, groups, "more" rows, a suspect's account) run across the columns.
        if (model_->data(index, SnapshotTreeModel::SentenceRole).toBool())
            setFirstColumnSpanned(row, parent, true);
    }
}

void SnapshotTreeView::activate(const QModelIndex& index)
{
    const QModelIndex row = index.siblingAtColumn(0);
    if (model_->loadMore(row))
        return;
    const quint32 object = model_->objectAt(row);
    if (objectsSignal_ && object != UINT32_MAX)
        Q_EMIT objectActivated(object);
    else if (model_->hasChildren(row))
        setExpanded(row, !isExpanded(row));
}
