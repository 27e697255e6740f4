#include "classes_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "agent_heap_source.h"
#include "display_text.h"
#include "histogram_model.h"
#include "instance_list_model.h"
#include "search_text.h"
#include "type_name_delegate.h"

namespace {

QTableView* makeTable(QWidget* parent, const QString& name)
{
    auto* table = new QTableView(parent);
    table->setObjectName(name);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    table->verticalHeader()->hide();
    // One fixed row height: twenty thousand rows lay out without measuring each.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setHighlightSections(false);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

QWidget* titled(QWidget* title, QWidget* body, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(title);
    layout->addWidget(body, 1);
    return box;
}

// A title with a field beside it, on one line.
QWidget* titleLine(QLabel* title, QWidget* field, QWidget* parent)
{
    auto* line = new QWidget(parent);
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 4, 0);
    layout->addWidget(title, 1);
    layout->addWidget(field);
    return line;
}

}  // namespace

ClassesPage::ClassesPage(AgentHeapSource* source, QWidget* parent) : ExplorerPage(parent), source_(source)
{
    histogram_ = new HistogramModel(this);
    sorted_ = new QSortFilterProxyModel(this);
    sorted_->setSourceModel(histogram_);
    sorted_->setSortRole(HistogramModel::SortRole);
    sorted_->setFilterKeyColumn(HistogramModel::ClassColumn);
    sorted_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    sorted_->setSortCaseSensitivity(Qt::CaseInsensitive);
    instanceModel_ = new InstanceListModel(source, this);

    classes_ = makeTable(this, QStringLiteral("classes"));
    classes_->setModel(sorted_);
    classes_->setSortingEnabled(true);
    classes_->sortByColumn(HistogramModel::BytesColumn, Qt::DescendingOrder);
    classes_->setColumnWidth(HistogramModel::ClassColumn, 420);
    classes_->setColumnWidth(HistogramModel::InstancesColumn, 100);
    classes_->setColumnWidth(HistogramModel::BytesColumn, 110);
    classes_->setItemDelegateForColumn(HistogramModel::ClassColumn, new TypeNameDelegate(classes_));

    instances_ = makeTable(this, QStringLiteral("instances"));
    instances_->setModel(instanceModel_);
    instances_->setColumnWidth(InstanceListModel::ObjectColumn, 110);
    instances_->setColumnWidth(InstanceListModel::TypeColumn, 300);
    instances_->setColumnWidth(InstanceListModel::ValueColumn, 260);
    instances_->setItemDelegateForColumn(InstanceListModel::TypeColumn, new TypeNameDelegate(instances_));
    // Listed in the heap's order until a header is clicked; a third click goes back to it.
    instances_->horizontalHeader()->setSortIndicatorClearable(true);
    instances_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    instances_->setSortingEnabled(true);

    summary_ = new QLabel(tr("No histogram yet: F5 counts the heap by class."), this);
    summary_->setObjectName(QStringLiteral("histogramSummary"));
    instancesTitle_ = new QLabel(tr("Open a class (Enter or a double click) to list its instances."), this);
    instancesTitle_->setObjectName(QStringLiteral("instancesTitle"));
    holding_ = new QLineEdit(this);
    holding_->setObjectName(QStringLiteral("instanceFilter"));
    holding_->setPlaceholderText(tr("Holding text (Ctrl+Shift+F)"));
    holding_->setClearButtonEnabled(true);
    holding_->setMinimumWidth(220);
    holding_->setToolTip(tr("Enter lists the instances that hold this text: Strings that contain it, objects with a "
                            "String or primitive field that does"));

    splitter_ = new QSplitter(Qt::Vertical, this);
    splitter_->setObjectName(QStringLiteral("classesSplitter"));
    splitter_->addWidget(titled(summary_, classes_, splitter_));
    splitter_->addWidget(titled(titleLine(instancesTitle_, holding_, splitter_), instances_, splitter_));
    splitter_->setStretchFactor(0, 3);
    splitter_->setStretchFactor(1, 2);
    splitter_->setChildrenCollapsible(false);
    splitter_->setSizes({420, 260});  // until the sizes of an earlier run are restored
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter_);

    connect(classes_, &QAbstractItemView::activated, this, &ClassesPage::openClass);
    connect(instances_, &QAbstractItemView::activated, this, &ClassesPage::openInstance);
    connect(instanceModel_, &InstanceListModel::statusChanged, instancesTitle_, &QLabel::setText);
    connect(holding_, &QLineEdit::returnPressed, this, [this] {
        findHolding(holding_->text());
        instances_->setFocus();
    });
    // Clearing the text lists every instance again.
    connect(holding_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty() && !instanceModel_->contains().empty())
            findHolding({});
    });
    // The first instance is current as soon as it is listed, so Enter opens it at once.
    connect(instanceModel_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!instances_->currentIndex().isValid())
            instances_->setCurrentIndex(instanceModel_->index(0, 0));
    });
}

void ClassesPage::refreshHistogram()
{
    source_->fetchHistogram({}, [this](const Result<Histogram>& reply) {
        if (!reply.ok())
            return;
        setHistogram(reply.value);
        Q_EMIT histogramShown();
    });
}

QList<QAbstractItemView*> ClassesPage::views() const
{
    return {classes_, instances_};
}

void ClassesPage::refresh()
{
    refreshHistogram();
    if (!instanceModel_->className().empty())
        instanceModel_->showClass(instanceModel_->className(), instanceModel_->contains());
}

void ClassesPage::forgetHandles()
{
    instanceModel_->clear();
}

void ClassesPage::rememberLayout(RememberedLayout& layout)
{
    layout.headers.emplace_back(QStringLiteral("classes"), classes_->horizontalHeader());
    layout.headers.emplace_back(QStringLiteral("instances"), instances_->horizontalHeader());
    layout.splitters.emplace_back(QStringLiteral("classes"), splitter_);
}

void ClassesPage::setHistogram(Histogram histogram)
{
    histogram_->setHistogram(std::move(histogram));
    showSummary();
    if (sorted_->rowCount() > 0 && !classes_->currentIndex().isValid())
        classes_->setCurrentIndex(sorted_->index(0, 0));
}

void ClassesPage::clear()
{
    histogram_->setHistogram({});
    instanceModel_->clear();
    summary_->setText(tr("No histogram yet: F5 counts the heap by class."));
}

void ClassesPage::showSummary()
{
    const Histogram& h = histogram_->histogram();
    QString text = tr("%1 classes, %2 objects, %3 in all").arg(countText(h.classes), countText(h.instances),
                                                               bytesText(h.bytes));
    if (sorted_->rowCount() == 0 && histogram_->rowCount() > 0)
        text += tr("; no class matches “%1”").arg(filter_.trimmed());
    else if (sorted_->rowCount() != histogram_->rowCount())
        text += tr("; %1 shown").arg(countText(sorted_->rowCount()));
    summary_->setText(text);
}

int ClassesPage::shownClasses() const
{
    return sorted_->rowCount();
}

void ClassesPage::setFilter(const QString& text)
{
    filter_ = text;
    sorted_->setFilterRegularExpression(classPattern(text));
    showSummary();
    // The class chosen stays chosen while it passes the filter; else the first one is.
    if (sorted_->rowCount() > 0 && !classes_->currentIndex().isValid())
        classes_->setCurrentIndex(sorted_->index(0, 0));
    classes_->scrollTo(classes_->currentIndex());
}

bool ClassesPage::openBestMatch()
{
    if (sorted_->rowCount() == 0)
        return false;
    QModelIndex best = sorted_->index(0, 0);
    for (int row = 0; row < sorted_->rowCount(); ++row) {
        const QModelIndex index = sorted_->index(row, 0);
        if (namesClass(filter_, index.data().toString())) {
            best = index;
            break;
        }
    }
    classes_->setCurrentIndex(best);
    openClass(best);
    return true;
}

void ClassesPage::openClass(const QModelIndex& proxyIndex)
{
    if (!proxyIndex.isValid())
        return;
    const QString type = proxyIndex.siblingAtColumn(0).data(HistogramModel::ClassNameRole).toString();
    instanceModel_->showClass(type.toStdString(), holding_->text().trimmed().toStdString());
}

void ClassesPage::findHolding(const QString& text)
{
    if (instanceModel_->className().empty()) {
        instancesTitle_->setText(tr("Open a class first: its instances holding the text are listed."));
        return;
    }
    instanceModel_->showClass(instanceModel_->className(), text.trimmed().toStdString());
}

void ClassesPage::openInstance(const QModelIndex& index)
{
    if (const ObjectRef* ref = instanceModel_->rowAt(index.row()))
        Q_EMIT openObject(*ref);
}
