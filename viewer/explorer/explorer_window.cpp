#include "explorer_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include <utility>

#include "classes_page.h"
#include "connection_bar.h"
#include "details_pane.h"
#include "display_text.h"
#include "explorer_settings.h"
#include "heap_rows.h"
#include "heap_tree_model.h"
#include "histogram_model.h"
#include "instance_list_model.h"
#include "request_runner.h"
#include "request_status.h"
#include "root_groups.h"
#include "root_survey.h"

namespace {

enum Tab { ObjectsTab, ClassesTab, ReferrersTab, PathTab };

// Failures that mean there is no agent to talk to, as against an error reply.
bool lostConnection(const ClientError& error)
{
    return error.failure == Failure::unreachable || error.failure == Failure::closed ||
           error.failure == Failure::tooOld;
}

QString objectTitle(const ObjectRef& object)
{
    return javaTypeText(object.type) + QStringLiteral(" @") + fromWire(object.handle);
}

// The row's cells as a user sees them, TAB-separated, for the clipboard.
QString rowText(const QModelIndex& index)
{
    QStringList cells;
    const QAbstractItemModel* model = index.model();
    for (int column = 0; column < model->columnCount(index.parent()); ++column)
        cells << index.siblingAtColumn(column).data().toString();
    while (!cells.isEmpty() && cells.last().isEmpty())
        cells.removeLast();
    return cells.join('\t');
}

}  // namespace

ExplorerWindow::ExplorerWindow(int port, QWidget* parent)
    : QMainWindow(parent),
      runner_(new RequestRunner(port, this)),
      source_(runner_, this),
      survey_(new RootSurvey(this))
{
    setWindowTitle(tr("Vorlan explorer"));
    objectsModel_ = new HeapTreeModel(&source_, HeapTreeModel::Opens::contents, this);
    referrersModel_ = new HeapTreeModel(&source_, HeapTreeModel::Opens::referrers, this);
    pathModel_ = new HeapTreeModel(&source_, HeapTreeModel::Opens::nothing, this);
    roots_ = std::make_unique<RootGroups>(objectsModel_);

    connection_ = new ConnectionBar(port, this);
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("search"));
    search_->setPlaceholderText(tr("Find a class (Ctrl+F)"));
    search_->setClearButtonEnabled(true);
    search_->setMinimumWidth(260);
    search_->setToolTip(tr("Keeps the classes whose name contains this; Enter lists the first one's instances"));
    auto* top = new QWidget(this);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(6, 4, 6, 2);
    topLayout->addWidget(connection_, 1);
    topLayout->addWidget(search_);

    objectsView_ = makeTree(objectsModel_, QStringLiteral("objects"));
    referrersView_ = makeTree(referrersModel_, QStringLiteral("referrers"));
    pathView_ = makeTree(pathModel_, QStringLiteral("path"));
    referrersTitle_ = new QLabel(tr("\"Who refers to this\" (Ctrl+R) on any object lists its referrers here."), this);
    pathTitle_ = new QLabel(tr("\"Path to GC root\" (Ctrl+P) on any object shows here how it is kept alive."), this);
    classes_ = new ClassesPage(&source_, this);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("views"));
    tabs_->setDocumentMode(true);
    tabs_->insertTab(ObjectsTab, objectsView_, tr("&Objects"));
    tabs_->insertTab(ClassesTab, classes_, tr("&Classes"));
    tabs_->insertTab(ReferrersTab, titledPage(referrersTitle_, referrersView_), tr("&Referrers"));
    tabs_->insertTab(PathTab, titledPage(pathTitle_, pathView_), tr("&Path to GC root"));

    details_ = new DetailsPane(&source_, this);
    mainSplitter_ = new QSplitter(Qt::Horizontal, this);
    mainSplitter_->setObjectName(QStringLiteral("mainSplitter"));
    mainSplitter_->addWidget(tabs_);
    mainSplitter_->addWidget(details_);
    mainSplitter_->setStretchFactor(0, 3);
    mainSplitter_->setStretchFactor(1, 1);
    mainSplitter_->setChildrenCollapsible(false);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(top);
    layout->addWidget(mainSplitter_, 1);
    setCentralWidget(central);

    status_ = new RequestStatus(statusBar(), runner_);
    buildActions();
    buildMenus();
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(objectsView_),
                                    static_cast<QAbstractItemView*>(referrersView_),
                                    static_cast<QAbstractItemView*>(pathView_),
                                    static_cast<QAbstractItemView*>(classes_->classTable()),
                                    static_cast<QAbstractItemView*>(classes_->instanceTable())})
        watchView(view);

    connect(connection_, &ConnectionBar::connectRequested, this, &ExplorerWindow::connectTo);
    connect(runner_, &RequestRunner::finished, this, &ExplorerWindow::outcomeArrived);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        classes_->setFilter(text);
        if (!text.isEmpty())
            tabs_->setCurrentIndex(ClassesTab);
    });
    // Escape leaves the search as it leaves a find bar: cleared, back in the view.
    auto* leaveSearch = new QAction(search_);
    leaveSearch->setShortcut(Qt::Key_Escape);
    leaveSearch->setShortcutContext(Qt::WidgetShortcut);
    search_->addAction(leaveSearch);
    connect(leaveSearch, &QAction::triggered, this, [this] {
        search_->clear();
        if (lastView_)
            lastView_->setFocus();
    });
    connect(search_, &QLineEdit::returnPressed, this, [this] {
        if (classes_->openBestMatch())
            classes_->instanceTable()->setFocus();
    });
    connect(classes_, &ClassesPage::openObject, this, &ExplorerWindow::showInObjects);
    connect(survey_, &RootSurvey::batchReady, this, [this](const SurveyBatch& batch) { roots_->addBatch(batch); });
    // After connecting, the histogram's collection and walk wait for the first page of
    // roots, so that the program is not paused by both at once.
    connect(survey_, &RootSurvey::rootsListed, this, [this] {
        if (std::exchange(histogramDue_, false))
            refreshHistogram();
    });
    connect(survey_, &RootSurvey::finished, this, [this] { roots_->endSurvey(); });
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
        if (tab == ClassesTab)
            lastView_ = classes_->classTable();
        else if (tab == ObjectsTab)
            lastView_ = objectsView_;
        else if (tab == ReferrersTab)
            lastView_ = referrersView_;
        else
            lastView_ = pathView_;
        currentChanged(lastView_->currentIndex());
    });
    lastView_ = objectsView_;

    rememberedLayout(true);
    connectTo(port);
}

ExplorerWindow::~ExplorerWindow() = default;

QTreeView* ExplorerWindow::makeTree(HeapTreeModel* model, const QString& name)
{
    auto* tree = new QTreeView(this);
    tree->setObjectName(name);
    tree->setModel(model);
    tree->setUniformRowHeights(true);  // a page of a big array lays out without measuring rows
    tree->setAlternatingRowColors(true);
    tree->setExpandsOnDoubleClick(false);  // activation toggles, for Enter and double click alike
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    tree->setAllColumnsShowFocus(true);
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(true);
    header->resizeSection(HeapTreeModel::NameColumn, 230);
    header->resizeSection(HeapTreeModel::TypeColumn, 240);
    header->resizeSection(HeapTreeModel::ValueColumn, 270);
    header->resizeSection(HeapTreeModel::SizeColumn, 70);
    // Notes and "more" rows are one sentence each: they run across the columns.
    connect(model, &QAbstractItemModel::rowsInserted, tree, [tree, model](const QModelIndex& parent, int first, int last) {
        for (int row = first; row <= last; ++row) {
            const auto kind = model->itemAt(model->index(row, 0, parent))->kind();
            if (kind == HeapTreeItem::Kind::note || kind == HeapTreeItem::Kind::more)
                tree->setFirstColumnSpanned(row, parent, true);
        }
    });
    return tree;
}

QWidget* ExplorerWindow::titledPage(QLabel* title, QWidget* body)
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(3);
    title->setWordWrap(true);
    title->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(title);
    layout->addWidget(body, 1);
    return page;
}

void ExplorerWindow::buildActions()
{
    auto action = [this](const QString& text, const QKeySequence& keys, const QString& tip) {
        auto* a = new QAction(text, this);
        a->setShortcut(keys);
        a->setStatusTip(tip);
        a->setToolTip(tip);
        return a;
    };
    connectAction_ = action(tr("&Connect again"), QKeySequence(tr("Ctrl+Shift+L")),
                            tr("Drop the connection and connect to the port in the connection line"));
    refreshAction_ = action(tr("&Refresh"), QKeySequence::Refresh,
                            tr("Read the current view again: the histogram, the GC roots, or the opened object"));
    closeAction_ = action(tr("C&lose"), QKeySequence(tr("Ctrl+Q")), tr("Close the explorer; the Java program goes on"));
    findAction_ = action(tr("&Find class"), QKeySequence::Find, tr("Find a class by a part of its name"));
    copyRowAction_ = action(tr("Copy &row"), QKeySequence::Copy, tr("Copy the row's cells, TAB-separated"));
    copyHandleAction_ = action(tr("Copy &handle"), QKeySequence(tr("Ctrl+Shift+C")), tr("Copy the object's handle"));
    showInObjectsAction_ = action(tr("&Show in Objects"), QKeySequence(tr("Ctrl+O")),
                                  tr("Open the object in the Objects view"));
    referrersAction_ = action(tr("&Who refers to this"), QKeySequence(tr("Ctrl+R")),
                              tr("List the objects and GC roots that refer to the object"));
    pathAction_ = action(tr("&Path to GC root"), QKeySequence(tr("Ctrl+P")),
                         tr("Show the shortest chain of references from a GC root to the object"));

    // Ctrl+C copies a row only while a view has the focus; elsewhere it copies text.
    copyRowAction_->setShortcutContext(Qt::WidgetShortcut);
    addAction(connectAction_);
    addAction(refreshAction_);
    addAction(closeAction_);
    addAction(findAction_);
    for (QAction* a : {copyHandleAction_, showInObjectsAction_, referrersAction_, pathAction_})
        addAction(a);

    connect(connectAction_, &QAction::triggered, this, [this] { connectTo(connection_->port()); });
    connect(refreshAction_, &QAction::triggered, this, &ExplorerWindow::refresh);
    connect(closeAction_, &QAction::triggered, this, &QWidget::close);
    connect(findAction_, &QAction::triggered, this, [this] {
        search_->setFocus(Qt::ShortcutFocusReason);
        search_->selectAll();
    });
    connect(copyRowAction_, &QAction::triggered, this, &ExplorerWindow::copyRow);
    connect(copyHandleAction_, &QAction::triggered, this, &ExplorerWindow::copyHandle);
    connect(showInObjectsAction_, &QAction::triggered, this, [this] {
        if (auto object = currentObject())
            showInObjects(*object);
    });
    connect(referrersAction_, &QAction::triggered, this, [this] {
        if (auto object = currentObject())
            showReferrers(*object);
    });
    connect(pathAction_, &QAction::triggered, this, [this] {
        if (auto object = currentObject())
            showPath(*object);
    });
}

void ExplorerWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(connectAction_);
    file->addAction(refreshAction_);
    file->addSeparator();
    file->addAction(closeAction_);
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(findAction_);
    edit->addAction(copyRowAction_);
    edit->addAction(copyHandleAction_);
    QMenu* object = menuBar()->addMenu(tr("&Object"));
    object->addAction(showInObjectsAction_);
    object->addAction(referrersAction_);
    object->addAction(pathAction_);
}

void ExplorerWindow::watchView(QAbstractItemView* view)
{
    view->addAction(copyRowAction_);
    connect(view, &QAbstractItemView::activated, this, [this, view](const QModelIndex& index) { activate(view, index); });
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& position) { showContextMenu(view, position); });
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this, view](const QModelIndex& index) {
        lastView_ = view;
        currentChanged(index);
    });
}

QAbstractItemView* ExplorerWindow::currentView() const
{
    return lastView_;
}

std::optional<ObjectRef> ExplorerWindow::objectAt(const QModelIndex& index) const
{
    if (!index.isValid())
        return std::nullopt;
    const QString handle = index.siblingAtColumn(0).data(HandleRole).toString();
    if (handle.isEmpty())
        return std::nullopt;
    ObjectRef object;
    object.handle = handle.toStdString();
    object.type = index.siblingAtColumn(0).data(WireTypeRole).toString().toStdString();
    return object;
}

std::optional<ObjectRef> ExplorerWindow::currentObject() const
{
    return lastView_ ? objectAt(lastView_->currentIndex()) : std::nullopt;
}

void ExplorerWindow::currentChanged(const QModelIndex& index)
{
    const std::optional<ObjectRef> object = objectAt(index);
    details_->showObject(object ? object->handle : std::string());
    for (QAction* a : {copyHandleAction_, showInObjectsAction_, referrersAction_, pathAction_})
        a->setEnabled(object.has_value());
}

void ExplorerWindow::activate(QAbstractItemView* view, const QModelIndex& index)
{
    auto* tree = qobject_cast<QTreeView*>(view);
    auto* model = tree ? qobject_cast<HeapTreeModel*>(tree->model()) : nullptr;
    if (!model)
        return;  // the Classes page handles its own tables
    const QModelIndex row = index.siblingAtColumn(0);
    HeapTreeItem* item = model->itemAt(row);
    if (item->kind() == HeapTreeItem::Kind::more) {
        model->fetchNextPage(row);
    } else if (item->kind() == HeapTreeItem::Kind::note && item->parent() &&
               item->parent()->fetch() == HeapTreeItem::Fetch::failed) {
        model->refetch(row.parent());
    } else if (model == pathModel_ && item->kind() == HeapTreeItem::Kind::object) {
        if (auto object = objectAt(row))
            showInObjects(*object);
    } else if (model->hasChildren(row)) {
        tree->setExpanded(row, !tree->isExpanded(row));
    }
}

void ExplorerWindow::showContextMenu(QAbstractItemView* view, const QPoint& position)
{
    const QModelIndex index = view->indexAt(position);
    if (index.isValid())
        view->setCurrentIndex(index);
    lastView_ = view;
    currentChanged(view->currentIndex());
    QMenu menu(this);
    if (view != objectsView_)
        menu.addAction(showInObjectsAction_);
    menu.addAction(referrersAction_);
    menu.addAction(pathAction_);
    menu.addSeparator();
    menu.addAction(copyHandleAction_);
    menu.addAction(copyRowAction_);
    menu.exec(view->viewport()->mapToGlobal(position));
}

void ExplorerWindow::forgetHandles()
{
    objectsModel_->clear();
    roots_ = std::make_unique<RootGroups>(objectsModel_);
    referrersModel_->clear();
    pathModel_->clear();
    pathTarget_.reset();
    classes_->instanceModel()->clear();
    details_->showObject({});
}

void ExplorerWindow::connectTo(int port)
{
    survey_->stop();
    runner_->reconnect(port);
    forgetHandles();
    classes_->clear();
    histogramDue_ = true;
    setWindowTitle(tr("Vorlan explorer — 127.0.0.1:%1").arg(port));
    connection_->showConnecting();
    source_.open([this](const Result<Hello>& reply) {
        if (!reply.ok())
            return;  // outcomeArrived has shown why
        connection_->showConnected(reply.value);
        refreshRoots();  // the histogram follows once the roots are listed
    });
}

void ExplorerWindow::outcomeArrived(const RequestOutcome& outcome)
{
    if (lostConnection(outcome.error))
        connection_->showDisconnected(fromWire(outcome.error.message));
    else if (!outcome.error.failed() && !connection_->connected() && !outcome.hello.agentVersion.empty())
        connection_->showConnected(outcome.hello);
}

void ExplorerWindow::refreshHistogram()
{
    source_.fetchHistogram({}, [this](const Result<Histogram>& reply) {
        if (!reply.ok())
            return;
        classes_->setHistogram(reply.value);
        Q_EMIT histogramShown();
    });
}

void ExplorerWindow::refreshRoots()
{
    roots_->beginSurvey();
    survey_->start(runner_->port());
}

void ExplorerWindow::refresh()
{
    switch (tabs_->currentIndex()) {
    case ObjectsTab: {
        const QModelIndex row = objectsView_->currentIndex().siblingAtColumn(0);
        HeapTreeItem* item = row.isValid() ? objectsModel_->itemAt(row) : nullptr;
        if (item && item->kind() == HeapTreeItem::Kind::object && item->fetch() != HeapTreeItem::Fetch::notYet)
            objectsModel_->refetch(row);
        else
            refreshRoots();
        break;
    }
    case ClassesTab:
        refreshHistogram();
        if (!classes_->instanceModel()->className().empty())
            classes_->instanceModel()->showClass(classes_->instanceModel()->className());
        break;
    case ReferrersTab:
        if (referrersModel_->rowCount() > 0)
            referrersModel_->refetch(referrersModel_->index(0, 0));
        break;
    case PathTab:
        if (pathTarget_)
            showPath(*pathTarget_);
        break;
    default:
        break;
    }
    details_->reload();
}

void ExplorerWindow::showInObjects(const ObjectRef& object)
{
    const QModelIndex row = roots_->addOpened(object);
    tabs_->setCurrentIndex(ObjectsTab);
    objectsView_->expand(row.parent());
    objectsView_->setCurrentIndex(row);
    objectsView_->expand(row);
    objectsView_->scrollTo(row);
    objectsView_->setFocus();
}

void ExplorerWindow::showReferrers(const ObjectRef& object)
{
    referrersModel_->clear();
    const QModelIndex row = referrersModel_->appendRow({}, objectRow(object, '@' + fromWire(object.handle)));
    referrersTitle_->setText(tr("What refers to %1. Open a referrer to see what refers to it in turn.")
                                 .arg(objectTitle(object).toHtmlEscaped()));
    tabs_->setCurrentIndex(ReferrersTab);
    referrersView_->setCurrentIndex(row);
    referrersView_->expand(row);
    referrersView_->setFocus();
}

void ExplorerWindow::showPath(const ObjectRef& object)
{
    pathTarget_ = object;
    pathModel_->clear();
    pathTitle_->setText(tr("Finding the path from a GC root to %1…").arg(objectTitle(object).toHtmlEscaped()));
    tabs_->setCurrentIndex(PathTab);
    source_.fetchPath({object.handle, false, {}},
                      [this, object](const Result<PathReply>& reply) { pathArrived(object, reply); });
}

void ExplorerWindow::pathArrived(const ObjectRef& object, const Result<PathReply>& reply)
{
    pathModel_->clear();
    const QString title = objectTitle(object).toHtmlEscaped();
    if (!reply.ok()) {
        pathTitle_->setText(tr("No path to %1: %2").arg(title, fromWire(reply.error.message).toHtmlEscaped()));
        Q_EMIT pathShown();
        return;
    }
    const PathReply& path = reply.value;
    QStringList notes;
    for (const std::string& note : path.notes)
        notes << fromWire(note).toHtmlEscaped();
    if (path.found == "none") {
        pathTitle_->setText(tr("No GC root reaches %1: it is garbage waiting for the next collection. %2")
                                .arg(title, notes.join(' ')));
        Q_EMIT pathShown();
        return;
    }
    const QString steps = path.steps.size() == 1 ? tr("1 step") : tr("%1 steps").arg(path.steps.size());
    QString head = tr("How %1 is kept alive: %2 from a GC root").arg(title, steps);
    if (path.found == "weak")
        head += tr(", only through the referent of a weak, soft or phantom reference");
    pathTitle_->setText(head + '.');
    pathTitle_->setToolTip(notes.join('\n'));

    QModelIndex parent;
    if (path.hasRoot)
        parent = pathModel_->appendRow({}, gcRootRow(path.root));
    for (const Hop& step : path.steps) {
        auto row = hopRow(step);
        row->setFetch(HeapTreeItem::Fetch::given);
        parent = pathModel_->appendRow(parent, std::move(row));
    }
    pathView_->expandAll();
    pathView_->setCurrentIndex(parent);
    pathView_->scrollTo(parent);
    pathView_->setFocus();
    Q_EMIT pathShown();
}

void ExplorerWindow::copyRow()
{
    if (!lastView_ || !lastView_->currentIndex().isValid())
        return;
    const QString text = rowText(lastView_->currentIndex());
    QGuiApplication::clipboard()->setText(text);
    status_->note(tr("copied: %1").arg(text.left(120)));
}

void ExplorerWindow::copyHandle()
{
    if (auto object = currentObject()) {
        QGuiApplication::clipboard()->setText(fromWire(object->handle));
        status_->note(tr("copied handle %1").arg(fromWire(object->handle)));
    }
}

void ExplorerWindow::rememberedLayout(bool restore)
{
    RememberedLayout layout;
    layout.window = this;
    layout.headers = {{QStringLiteral("objects"), objectsView_->header()},
                      {QStringLiteral("referrers"), referrersView_->header()},
                      {QStringLiteral("path"), pathView_->header()},
                      {QStringLiteral("classes"), classes_->classTable()->horizontalHeader()},
                      {QStringLiteral("instances"), classes_->instanceTable()->horizontalHeader()}};
    layout.splitters = {{QStringLiteral("main"), mainSplitter_}, {QStringLiteral("classes"), classes_->splitter()}};
    if (!restore) {
        saveLayout(layout);
    } else if (!restoreLayout(layout)) {
        resize(1200, 760);
        mainSplitter_->setSizes({850, 350});
        classes_->splitter()->setSizes({420, 260});
    }
}

void ExplorerWindow::closeEvent(QCloseEvent* event)
{
    rememberedLayout(false);
    survey_->stop();
    QMainWindow::closeEvent(event);
}
