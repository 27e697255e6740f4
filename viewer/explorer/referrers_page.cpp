#include "referrers_page.h"

#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

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
}

void ReferrersPage::showReferrers(const ObjectRef& object)
{
    model_->clear();
    const QModelIndex row = model_->appendRow({}, objectRow(object, '@' + fromWire(object.handle)));
    title_->setText(tr("What refers to %1. Open a referrer to see what refers to it in turn.")
                        .arg(objectTitle(object).toHtmlEscaped()));
    view_->setCurrentIndex(row);
    view_->expand(row);
    view_->setFocus();
}

QList<QAbstractItemView*> ReferrersPage::views() const
{
    return {view_};
}

void ReferrersPage::refresh()
{
    if (model_->rowCount() > 0)
        model_->refetch(model_->index(0, 0));
}

void ReferrersPage::forgetHandles()
{
    model_->clear();
}

void ReferrersPage::rememberLayout(RememberedLayout& layout)
{
    layout.headers.emplace_back(QStringLiteral("referrers"), view_->header());
}
