#include "heap_tree_view.h"

#include <QHeaderView>

#include "heap_tree_model.h"
#include "tree_view_habits.h"
#include "type_name_delegate.h"

HeapTreeView::HeapTreeView(HeapTreeModel* model, const QString& name, ObjectRows objectRows, QWidget* parent)
    : QTreeView(parent), model_(model), objectRows_(objectRows)
{
    setObjectName(name);
    setModel(model);
    setTreeViewHabits(this);
    QHeaderView* columns = header();
    columns->resizeSection(HeapTreeModel::NameColumn, 290);
    columns->resizeSection(HeapTreeModel::TypeColumn, 220);
    columns->resizeSection(HeapTreeModel::ValueColumn, 230);
    columns->resizeSection(HeapTreeModel::SizeColumn, 70);
    setItemDelegateForColumn(HeapTreeModel::TypeColumn, new TypeNameDelegate(this));
    // Notes and "more" rows are one sentence each: they run across the columns.
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int first, int last) {
        for (int row = first; row <= last; ++row) {
            const auto kind = model_->itemAt(model_->index(row, 0, parent))->kind();
            if (kind == HeapTreeItem::Kind::note || kind == HeapTreeItem::Kind::more)
                setFirstColumnSpanned(row, parent, true);
        }
    });
    connect(this, &QAbstractItemView::activated, this, &HeapTreeView::activate);
}

void HeapTreeView::activate(const QModelIndex& index)
{
    const QModelIndex row = index.siblingAtColumn(0);
    HeapTreeItem* item = model_->itemAt(row);
    if (item->kind() == HeapTreeItem::Kind::more) {
        model_->fetchNextPage(row);
    } else if (item->kind() == HeapTreeItem::Kind::note && item->parent() &&
               item->parent()->fetch() == HeapTreeItem::Fetch::failed) {
        model_->refetch(row.parent());
    } else if (objectRows_ == ObjectRows::signal && item->kind() == HeapTreeItem::Kind::object) {
        Q_EMIT objectActivated(row);
    } else if (model_->hasChildren(row)) {
        setExpanded(row, !isExpanded(row));
    }
}
