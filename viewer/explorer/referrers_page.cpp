#include "referrers_page.h"

#include <QHeaderView>
#include <QLabel>
#include <QPersistentModelIndex>

#include "collection_reader.h"
#include "collection_rows.h"
#include "display_text.h"
#include "heap_rows.h"
#include "heap_tree_model.h"
#include "heap_tree_view.h"
#include "titled_page.h"

ReferrersPage::ReferrersPage(HeapSource* source, QWidget* parent) : ExplorerPage(parent)
{
    model_ = new HeapTreeModel(source, HeapTreeModel::Opens::referrers, this);
    view_ = new HeapTreeView(model_, QStringLiteral("referrers"), HeapTreeView::ObjectRows::toggle, this);
    title_ = new QLabel(tr("\"Who refers to this\" (Ctrl+R) on any object lists its referrers here."), this);
    layOutTitled(this, title_, view_);
    connect(model_, &QAbstractItemModel::rowsInserted, this, &ReferrersPage::lookThrough);
}

void ReferrersPage::showReferrers(const ObjectRef& object)
{
    model_->clear();
    lookThroughLeft_ = kLookThrough;
    const QModelIndex row = model_->appendRow({}, objectRow(object, '@' + fromWire(object.handle)));
    title_->setText(tr("What refers to %1. Open a referrer to see what refers to it in turn; the insides of "
                       "collections open by themselves.")
                        .arg(objectTitle(object).toHtmlEscaped()));
    view_->setCurrentIndex(row);
    view_->expand(row);
    view_->setFocus();
}

void ReferrersPage::lookThrough(const QModelIndex& parent, int first, int last)
{
    if (!parent.isValid() || lookThroughLeft_ <= 0)
        return;
    const bool parentIsInside = isCollectionInternal(model_->itemAt(parent)->wireType());
    for (int row = first; row <= last && lookThroughLeft_ > 0; ++row) {
        const QModelIndex index = model_->index(row, 0, parent);
        const HeapTreeItem* item = model_->itemAt(index);
        if (item->kind() != HeapTreeItem::Kind::object || item->fetch() != HeapTreeItem::Fetch::notYet)
            continue;  // a root, a note, or one already above
        const std::string& type = item->wireType();
        if (isCollectionInternal(type) || (parentIsInside && CollectionReader::readsType(type))) {
            --lookThroughLeft_;
            // After the view has heard of the row itself.
            QMetaObject::invokeMethod(
                this, [this, at = QPersistentModelIndex(index)] { if (at.isValid()) view_->expand(at); },
                Qt::QueuedConnection);
        }
    }
}

QList<QAbstractItemView*> ReferrersPage::views() const
{
    return {view_};
}

void ReferrersPage::refresh()
{
    if (model_->rowCount() > 0) {
        lookThroughLeft_ = kLookThrough;
        model_->refetch(model_->index(0, 0));
    }
}

void ReferrersPage::forgetHandles()
{
    model_->clear();
}

void ReferrersPage::requestsDropped()
{
    model_->abandonPending();
}

void ReferrersPage::rememberLayout(RememberedLayout& layout)
{
    layout.headers.emplace_back(QStringLiteral("referrers"), view_->header());
}
