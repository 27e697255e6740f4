#include "path_page.h"

#include <QHeaderView>
#include <QLabel>
#include <QPointer>

#include "agent_heap_source.h"
#include "display_text.h"
#include "heap_rows.h"
#include "heap_tree_model.h"
#include "heap_tree_view.h"
#include "object_roles.h"
#include "root_names.h"
#include "titled_page.h"

PathPage::PathPage(AgentHeapSource* source, QWidget* parent) : ExplorerPage(parent), source_(source)
{
    model_ = new HeapTreeModel(source, HeapTreeModel::Opens::nothing, this);
    model_->setColumnTitle(HeapTreeModel::NameColumn, tr("Held by"));
    model_->setColumnTitle(HeapTreeModel::ValueColumn, tr("Object"));
    view_ = new HeapTreeView(model_, QStringLiteral("path"), HeapTreeView::ObjectRows::signal, this);
    // A chain, not a tree: every step at the left edge, so no name loses its room.
    view_->setRootIsDecorated(false);
    view_->setItemsExpandable(false);
    view_->setIndentation(0);
    title_ = new QLabel(tr("\"Path to GC root\" (Ctrl+P) on any object shows here how it is kept alive."), this);
    layOutTitled(this, title_, view_);
    connect(view_, &HeapTreeView::objectActivated, this, [this](const QModelIndex& row) {
        if (auto object = objectAt(row))
            Q_EMIT openObject(*object);
    });
}

void PathPage::showPath(const ObjectRef& object)
{
    target_ = object;
    model_->clear();
    title_->setText(tr("Finding the path from a GC root to %1…").arg(objectTitle(object).toHtmlEscaped()));
    waiting_ = true;
    QPointer<PathPage> self(this);
    source_->fetchPath({object.handle, false, {}}, [self, object](const Result<PathReply>& reply) {
        if (self && self->target_ && self->target_->handle == object.handle)
            self->pathArrived(object, reply);
    });
}

void PathPage::pathArrived(const ObjectRef& object, const Result<PathReply>& reply)
{
    waiting_ = false;
    model_->clear();
    const QString title = objectTitle(object).toHtmlEscaped();
    if (!reply.ok()) {
        title_->setText(tr("No path to %1: %2").arg(title, fromWire(reply.error.message).toHtmlEscaped()));
        Q_EMIT pathShown();
        return;
    }
    const PathReply& path = reply.value;
    QStringList notes;
    for (const std::string& note : path.notes)
        notes << fromWire(note).toHtmlEscaped();
    if (path.found == "none") {
        title_->setText(tr("No GC root reaches %1: it is garbage waiting for the next collection. %2")
                            .arg(title, notes.join(' ')));
        Q_EMIT pathShown();
        return;
    }
    const QString steps = path.steps.size() == 1 ? tr("1 step") : tr("%1 steps").arg(path.steps.size());
    QString head = tr("How %1 is kept alive: %2 from a GC root").arg(title, steps);
    const std::string keeper = pathRootName(path);
    if (!keeper.empty())
        head += tr(", held by the %1").arg(fromWire(keeper).toHtmlEscaped());
    if (path.found == "weak")
        head += tr(", only through the referent of a weak, soft or phantom reference");
    title_->setText(head + '.');
    title_->setToolTip(notes.join('\n'));

    QModelIndex last;
    for (auto& row : pathRows(path))
        last = model_->appendRow({}, std::move(row));
    view_->setCurrentIndex(last);
    view_->scrollTo(last);
    view_->setFocus();
    Q_EMIT pathShown();
}

QList<QAbstractItemView*> PathPage::views() const
{
    return {view_};
}

void PathPage::refresh()
{
    if (target_)
        showPath(*target_);
}

void PathPage::forgetHandles()
{
    model_->clear();
    target_.reset();
    waiting_ = false;
}

void PathPage::requestsDropped()
{
    if (waiting_ && target_)
        showPath(*target_);  // its answer will not come: ask again
}

void PathPage::rememberLayout(RememberedLayout& layout)
{
    layout.headers.emplace_back(QStringLiteral("path"), view_->header());
}
