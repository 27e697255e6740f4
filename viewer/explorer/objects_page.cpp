#include "objects_page.h"

#include <QHeaderView>
#include <QVBoxLayout>

#include "heap_tree_model.h"
#include "heap_tree_view.h"
#include "request_runner.h"
#include "root_groups.h"
#include "root_survey.h"

ObjectsPage::ObjectsPage(HeapSource* source, RequestRunner* runner, const FieldsChoice* fields, QWidget* parent)
    : ExplorerPage(parent), runner_(runner)
{
    model_ = new HeapTreeModel(source, HeapTreeModel::Opens::contents, this);
    model_->setFieldsChoice(fields);
    roots_ = std::make_unique<RootGroups>(model_);
    survey_ = new RootSurvey(this);
    view_ = new HeapTreeView(model_, QStringLiteral("objects"), HeapTreeView::ObjectRows::toggle, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    connect(survey_, &RootSurvey::batchReady, this, [this](const SurveyBatch& batch) { roots_->addBatch(batch); });
    connect(survey_, &RootSurvey::finished, this, [this] { roots_->endSurvey(); });
}

ObjectsPage::~ObjectsPage() = default;

void ObjectsPage::showObject(const ObjectRef& object)
{
    const QModelIndex row = roots_->addOpened(object);
    view_->expand(row.parent());
    view_->setCurrentIndex(row);
    view_->expand(row);
    view_->scrollTo(row);
    view_->setFocus();
}

bool ObjectsPage::isOpened(const QModelIndex& index) const
{
    return roots_->isOpened(index);
}

void ObjectsPage::closeCurrent()
{
    const QModelIndex next = roots_->closeOpened(view_->currentIndex());
    if (next.isValid())
        view_->setCurrentIndex(next);
}

void ObjectsPage::closeAll()
{
    roots_->closeAllOpened();
}

void ObjectsPage::rereadCurrent()
{
    const QModelIndex row = view_->currentIndex().siblingAtColumn(0);
    HeapTreeItem* item = row.isValid() ? model_->itemAt(row) : nullptr;
    if (item && item->kind() == HeapTreeItem::Kind::object && item->fetch() != HeapTreeItem::Fetch::notYet) {
        model_->refetch(row);
        view_->expand(row);
    }
}

void ObjectsPage::listRoots()
{
    roots_->beginSurvey();
    survey_->start(runner_->port());
}

QList<QAbstractItemView*> ObjectsPage::views() const
{
    return {view_};
}

void ObjectsPage::refresh()
{
    const QModelIndex row = view_->currentIndex().siblingAtColumn(0);
    HeapTreeItem* item = row.isValid() ? model_->itemAt(row) : nullptr;
    if (item && item->kind() == HeapTreeItem::Kind::object && item->fetch() != HeapTreeItem::Fetch::notYet)
        model_->refetch(row);
    else
        listRoots();
}

void ObjectsPage::forgetHandles()
{
    model_->clear();
    roots_ = std::make_unique<RootGroups>(model_);
}

void ObjectsPage::requestsDropped()
{
    model_->abandonPending();
}

void ObjectsPage::rememberLayout(RememberedLayout& layout)
{
    layout.headers.emplace_back(QStringLiteral("objects"), view_->header());
}
