#include "explorer_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

#include <utility>

#include "attach_dialog.h"
#include "classes_page.h"
#include "collection_reader.h"
#include "connection_bar.h"
#include "details_pane.h"
#include "display_text.h"
#include "explorer_actions.h"
#include "explorer_settings.h"
#include "heap_tree_view.h"
#include "histogram_model.h"
#include "memory_page.h"
#include "object_roles.h"
#include "objects_page.h"
#include "path_page.h"
#include "referrers_page.h"
#include "request_runner.h"
#include "request_status.h"
#include "root_survey.h"
#include "search_text.h"
#include "snapshot_details_reader.h"
#include "snapshot_loader.h"
#include "snapshot_queries.h"
#include "snapshot_taker.h"
#include "snapshot_tree_model.h"
#include "snapshot_tree_view.h"

namespace {

// Failures that mean there is no agent to talk to, as against an error reply.
bool lostConnection(const ClientError& error)
{
    return error.failure == Failure::unreachable || error.failure == Failure::closed ||
           error.failure == Failure::tooOld || error.failure == Failure::notAgent ||
           error.failure == Failure::noAnswer;
}

// Whether two hellos come from one agent: its handles name the same objects.
bool sameAgent(const Hello& a, const Hello& b)
{
    return a.pid >= 0 && a.pid == b.pid && a.jvmVersion == b.jvmVersion && a.agentVersion == b.agentVersion;
}

// The row's cells as a user sees them, TAB-separated, for the clipboard; sizes in exact
// bytes where the model gives them so (SnapshotTreeModel::CopyTextRole).
QString rowText(const QModelIndex& index)
{
    QStringList cells;
    const QAbstractItemModel* model = index.model();
    for (int column = 0; column < model->columnCount(index.parent()); ++column) {
        const QModelIndex cell = index.siblingAtColumn(column);
        const QVariant exact = cell.data(SnapshotTreeModel::CopyTextRole);
        cells << (exact.isValid() ? exact.toString() : cell.data().toString());
    }
    while (!cells.isEmpty() && cells.last().isEmpty())
        cells.removeLast();
    return cells.join('\t');
}

const char* const kNothingFound = "nothingFound";

}  // namespace

ExplorerWindow::ExplorerWindow(int port, QWidget* parent) : ExplorerWindow(port, {}, true, parent) {}

ExplorerWindow::ExplorerWindow(const QString& dumpFile, int port, QWidget* parent)
    : ExplorerWindow(port, dumpFile, false, parent)
{
}

ExplorerWindow::ExplorerWindow(int port, const QString& dumpFile, bool connectNow, QWidget* parent)
    : QMainWindow(parent),
      runner_(new RequestRunner(port, this)),
      source_(runner_, this),
      quietSource_(runner_, this, true, source_.readers())
{
    setWindowTitle(tr("Vorlan explorer"));
    actions_ = std::make_unique<ExplorerActions>(this);
    actions_->addMenus(menuBar());
    QToolBar* toolBar = addToolBar(tr("Snapshots"));
    toolBar->setObjectName(QStringLiteral("snapshotTools"));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolBar->setMovable(false);
    actions_->addToolBar(toolBar);

    objects_ = new ObjectsPage(&source_, runner_, &fields_, this);
    classes_ = new ClassesPage(&source_, this);
    referrers_ = new ReferrersPage(&source_, this);
    path_ = new PathPage(&source_, this);
    memory_ = new MemoryPage(this);
    loader_ = new SnapshotLoader(this);
    earlierLoader_ = new SnapshotLoader(this);
    taker_ = new SnapshotTaker(this);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("views"));
    tabs_->setDocumentMode(true);
    addPage(objects_, tr("&Objects"));
    addPage(classes_, tr("&Classes"));
    addPage(referrers_, tr("&Referrers"));
    addPage(path_, tr("&Path to GC root"));
    addPage(memory_, tr("&Memory"));

    details_ = new DetailsPane(&quietSource_, &fields_, this);
    snapshotDetails_ = new SnapshotDetailsReader(details_, this);
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
    layout->addWidget(buildTop());
    layout->addWidget(mainSplitter_, 1);
    setCentralWidget(central);
    status_ = new RequestStatus(statusBar(), runner_);
    connectActions();

    connect(connection_, &ConnectionBar::connectRequested, this, &ExplorerWindow::connectTo);
    connect(connection_, &ConnectionBar::attachRequested, this, &ExplorerWindow::openAttachDialog);
    connect(runner_, &RequestRunner::finished, this, &ExplorerWindow::outcomeArrived);
    connect(classes_, &ClassesPage::histogramShown, this, &ExplorerWindow::histogramShown);
    connect(path_, &PathPage::pathShown, this, &ExplorerWindow::pathShown);
    connect(details_, &DetailsPane::openObject, this, &ExplorerWindow::showInObjects);
    // After connecting, the histogram's collection and walk wait for the first page of
    // roots, so that the program is not paused by both at once.
    connect(objects_->survey(), &RootSurvey::rootsListed, this, [this] {
        if (std::exchange(histogramDue_, false))
            refreshHistogram();
    });
    connect(tabs_, &QTabWidget::currentChanged, this, [this] { follow(currentPage()->activeView()); });
    // A click on a row that is current already moves no current index, but the focus.
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        ExplorerPage* page = currentPage();
        for (QAbstractItemView* view : page->views())
            if (view == now && view != lastView_) {
                page->setActiveView(view);
                follow(view);
            }
    });
    connectSnapshots();
    lastView_ = objects_->views().front();
    updateNavigation();
    updateTakeSnapshot();

    rememberedLayout(true);
    if (connectNow) {
        connectTo(port);
    } else {
        setLiveEnabled(false, tr("No Java program is connected: the Memory view shows a heap dump file. "
                                 "File → Attach to a Java process… or Connect to browse a running one."));
        connection_->showDisconnected(tr("not connected; showing a heap dump file"));
        setWindowTitle(tr("Vorlan explorer — %1").arg(QFileInfo(dumpFile).fileName()));
        if (!dumpFile.isEmpty())
            openDumpFile(dumpFile);
    }
}

ExplorerWindow::~ExplorerWindow()
{
    // Focus moves while the widgets go, after the members they would be followed with.
    disconnect(focusWatch_);
}

QWidget* ExplorerWindow::buildTop()
{
    connection_ = new ConnectionBar(runner_->port(), this);
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("search"));
    search_->setPlaceholderText(tr("Find a class or @object (Ctrl+F)"));
    search_->setClearButtonEnabled(true);
    search_->setMinimumWidth(260);
    search_->setToolTip(tr("Keeps the classes whose name contains this (* stands for any run of characters); "
                           "Enter lists the first one's instances. @1a2b goes to that object"));
    auto* top = new QWidget(this);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(6, 4, 6, 2);
    topLayout->addWidget(connection_, 1);
    topLayout->addWidget(search_);

    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        search_->setProperty(kNothingFound, false);
        search_->setStyleSheet({});
        if (text.trimmed().startsWith('@'))
            return;  // a handle, not a class
        classes_->setFilter(text);
        if (!text.isEmpty())
            tabs_->setCurrentWidget(classes_);
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
    connect(search_, &QLineEdit::returnPressed, this, [this] { search(search_->text()); });
    return top;
}

void ExplorerWindow::addPage(ExplorerPage* page, const QString& title)
{
    tabs_->addTab(page, title);
    pages_.append(page);
    for (QAbstractItemView* view : page->views())
        watchView(view, page);
    connect(page, &ExplorerPage::openObject, this, &ExplorerWindow::showInObjects);
}

// A snapshot's sources (a dump file, an earlier one to compare with, a capture) and what
// the window does with what they give.
void ExplorerWindow::connectSnapshots()
{
    connect(memory_, &MemoryPage::cancelRequested, loader_, &SnapshotLoader::cancel);
    connect(loader_, &SnapshotLoader::progress, memory_, &MemoryPage::showProgress);
    connect(loader_, &SnapshotLoader::opened, this,
            [this](std::shared_ptr<const Snapshot> snapshot, const QString& file) { showSnapshot(std::move(snapshot), file, {}); });
    connect(memory_, &MemoryPage::cancelRequested, taker_, &SnapshotTaker::cancel);
    connect(taker_, &SnapshotTaker::progress, memory_, &MemoryPage::showProgress);
    connect(taker_, &SnapshotTaker::taken, this,
            [this](std::shared_ptr<const Snapshot> snapshot, long pid, const QString& pause) {
                updateTakeSnapshot();
                showSnapshot(std::move(snapshot), tr("process %1").arg(pid), pause);
                status_->note(tr("snapshot taken: %1").arg(pause));
            });
    connect(taker_, &SnapshotTaker::failed, this, [this](const QString& why) {
        updateTakeSnapshot();
        memory_->showFailure(tr("No snapshot: %1").arg(why));
        status_->warn(tr("No snapshot: %1").arg(why));
        Q_EMIT snapshotFailed(why);
    });
    connect(taker_, &SnapshotTaker::cancelled, this, [this] {
        updateTakeSnapshot();
        memory_->showFailure(tr("The snapshot was cancelled; the program goes on."));
        status_->note(tr("snapshot cancelled"));
        Q_EMIT snapshotFailed(tr("cancelled"));
    });
    connect(loader_, &SnapshotLoader::failed, this, [this](const QString& why, const QString& file) {
        const QString text = tr("Cannot open %1: %2").arg(QFileInfo(file).fileName(), why);
        memory_->showFailure(text);
        status_->warn(text);
        Q_EMIT snapshotFailed(why);
    });
    connect(loader_, &SnapshotLoader::cancelled, this, [this](const QString& file) {
        memory_->showFailure(tr("Opening %1 was cancelled.").arg(QFileInfo(file).fileName()));
        status_->note(tr("opening %1 cancelled").arg(QFileInfo(file).fileName()));
    });
    connect(earlierLoader_, &SnapshotLoader::progress, this, [this](const QString& phase, quint64 bytes, quint64 total) {
        status_->note(tr("reading the earlier snapshot: %1%2")
                          .arg(phase, total > 0 ? tr(", %1 of %2").arg(bytesText(static_cast<long long>(bytes)),
                                                                        bytesText(static_cast<long long>(total)))
                                                : QString()));
    });
    connect(earlierLoader_, &SnapshotLoader::opened, this,
            [this](std::shared_ptr<const Snapshot> earlier, const QString& file) {
                if (!snapshot_)
                    return;
                // The earlier snapshot is dropped once its classes are counted.
                const CompareReply reply = compareSnapshots(earlier->profile(), snapshot_->profile());
                earlier.reset();
                tabs_->setCurrentWidget(memory_);
                memory_->showComparison(reply, QFileInfo(file).fileName());
                if (reply.comparable)
                    status_->note(tr("compared with %1").arg(QFileInfo(file).fileName()));
                else
                    status_->warn(tr("%1 is not comparable: %2").arg(QFileInfo(file).fileName(), fromWire(reply.refusal)));
                Q_EMIT comparisonShown();
            });
    connect(earlierLoader_, &SnapshotLoader::failed, this, [this](const QString& why, const QString& file) {
        status_->warn(tr("Cannot open %1: %2").arg(QFileInfo(file).fileName(), why));
        Q_EMIT snapshotFailed(why);
    });
}

void ExplorerWindow::connectActions()
{
    const ExplorerActions& a = *actions_;
    connect(a.attach, &QAction::triggered, this, &ExplorerWindow::openAttachDialog);
    connect(a.openDump, &QAction::triggered, this, &ExplorerWindow::chooseDumpFile);
    connect(a.compare, &QAction::triggered, this, &ExplorerWindow::chooseEarlierDump);
    connect(a.takeSnapshot, &QAction::triggered, this, &ExplorerWindow::takeSnapshot);
    connect(a.openLive, &QAction::triggered, this, [this] {
        if (const quint32 object = currentSnapshotObject(); object != UINT32_MAX)
            openLive(object);
    });
    connect(a.connectAgain, &QAction::triggered, this, [this] { connectTo(connection_->port()); });
    connect(a.refresh, &QAction::triggered, this, &ExplorerWindow::refresh);
    connect(a.close, &QAction::triggered, this, &QWidget::close);
    connect(a.find, &QAction::triggered, this, [this] {
        search_->setFocus(Qt::ShortcutFocusReason);
        search_->selectAll();
    });
    connect(a.findValue, &QAction::triggered, this, [this] {
        tabs_->setCurrentWidget(classes_);
        classes_->instanceFilter()->setFocus(Qt::ShortcutFocusReason);
        classes_->instanceFilter()->selectAll();
    });
    connect(a.copyRow, &QAction::triggered, this, &ExplorerWindow::copyRow);
    connect(a.copyHandle, &QAction::triggered, this, &ExplorerWindow::copyHandle);
    auto onObject = [this](QAction* action, void (ExplorerWindow::*show)(const ObjectRef&)) {
        connect(action, &QAction::triggered, this, [this, show] {
            if (auto object = currentObject())
                (this->*show)(*object);
        });
    };
    onObject(a.showInObjects, &ExplorerWindow::showInObjects);
    // A snapshot object is answered from the snapshot, in the Memory view.
    connect(a.referrers, &QAction::triggered, this, [this] {
        if (const quint32 object = currentSnapshotObject(); object != UINT32_MAX) {
            tabs_->setCurrentWidget(memory_);
            memory_->showReferrers(object);
        } else if (auto live = currentObject()) {
            showReferrers(*live);
        }
    });
    connect(a.path, &QAction::triggered, this, [this] {
        if (const quint32 object = currentSnapshotObject(); object != UINT32_MAX) {
            tabs_->setCurrentWidget(memory_);
            memory_->showPath(object);
        } else if (auto live = currentObject()) {
            showPath(*live);
        }
    });
    connect(a.internals, &QAction::triggered, this, &ExplorerWindow::showInternals);
    connect(a.closeObject, &QAction::triggered, this, [this] {
        if (lastView_ == objects_->view() && objects_->isOpened(lastView_->currentIndex()))
            objects_->closeCurrent();
    });
    connect(a.closeAll, &QAction::triggered, this, [this] { objects_->closeAll(); });
    connect(a.back, &QAction::triggered, this, &ExplorerWindow::goBack);
    connect(a.forward, &QAction::triggered, this, &ExplorerWindow::goForward);
}

void ExplorerWindow::watchView(QAbstractItemView* view, ExplorerPage* page)
{
    view->addAction(actions_->copyRow);
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& position) { showContextMenu(view, position); });
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this, view, page](const QModelIndex& index) {
                page->setActiveView(view);
                if (view == lastView_ || page == currentPage()) {
                    lastView_ = view;
                    currentChanged(index);
                }
            });
}

ExplorerPage* ExplorerWindow::currentPage() const
{
    return pages_.value(tabs_->currentIndex(), objects_);
}

std::optional<ObjectRef> ExplorerWindow::currentObject() const
{
    return lastView_ ? objectAt(lastView_->currentIndex()) : std::nullopt;
}

void ExplorerWindow::follow(QAbstractItemView* view)
{
    if (!view)
        return;
    lastView_ = view;
    // A highlighted row is the current one: nothing highlighted without being acted on.
    if (!view->currentIndex().isValid() && view->selectionModel()->hasSelection())
        view->setCurrentIndex(view->selectionModel()->selectedIndexes().value(0));
    currentChanged(view->currentIndex());
}

quint32 ExplorerWindow::currentSnapshotObject() const
{
    if (!lastView_ || !memory_->views().contains(lastView_))
        return UINT32_MAX;
    return memory_->snapshotObjectAt(lastView_->currentIndex());
}

void ExplorerWindow::currentChanged(const QModelIndex& index)
{
    const quint32 snapshotObject = currentSnapshotObject();
    if (snapshotObject != UINT32_MAX && lastView_ && lastView_->currentIndex() == index) {
        showSnapshotDetails(snapshotObject);
        for (QAction* a : actions_->objectActions())
            a->setEnabled(a != actions_->showInObjects);
        actions_->showInObjects->setStatusTip(tr("A snapshot object is opened live with Open live (Ctrl+L)"));
        updateOpenLive(snapshotObject);
        actions_->internals->setEnabled(false);
        actions_->closeObject->setEnabled(false);
        return;
    }
    actions_->showInObjects->setStatusTip(actions_->showInObjects->toolTip());
    updateOpenLive(UINT32_MAX);
    if (memory_->views().contains(lastView_)) {
        snapshotDetails_->forget();
        details_->showObject({});
    }
    const std::optional<ObjectRef> object = objectAt(index);
    details_->showObject(object ? object->handle : std::string());
    for (QAction* a : actions_->objectActions())
        a->setEnabled(object.has_value());
    const bool collection = object && CollectionReader::readsType(object->type);
    actions_->internals->setEnabled(collection);
    actions_->internals->setChecked(collection && fields_.wantsFields(object->handle));
    actions_->closeObject->setEnabled(lastView_ == objects_->view() && objects_->isOpened(index));
}

void ExplorerWindow::showContextMenu(QAbstractItemView* view, const QPoint& position)
{
    const QModelIndex index = view->indexAt(position);
    if (index.isValid())
        view->setCurrentIndex(index);
    follow(view);
    QMenu menu(this);
    if (memory_->views().contains(view))
        menu.addAction(actions_->openLive);
    else if (view != objects_->view())
        menu.addAction(actions_->showInObjects);
    menu.addAction(actions_->referrers);
    menu.addAction(actions_->path);
    if (actions_->internals->isEnabled())
        menu.addAction(actions_->internals);
    if (actions_->closeObject->isEnabled())
        menu.addAction(actions_->closeObject);
    menu.addSeparator();
    menu.addAction(actions_->copyHandle);
    menu.addAction(actions_->copyRow);
    menu.exec(view->viewport()->mapToGlobal(position));
}

void ExplorerWindow::showInternals(bool fields)
{
    const std::optional<ObjectRef> object = currentObject();
    if (!object)
        return;
    fields_.set(object->handle, fields);
    if (lastView_ == objects_->view())
        objects_->rereadCurrent();
    details_->reload();
}

void ExplorerWindow::connectTo(int port)
{
    objects_->survey()->stop();
    connection_->setPort(port);  // Connect again goes where the window is connected
    runner_->reconnect(port);
    for (ExplorerPage* page : pages_)
        page->requestsDropped();
    setWindowTitle(tr("Vorlan explorer — 127.0.0.1:%1").arg(port));
    connection_->showConnecting();
    source_.open([this](const Result<Hello>& reply) {
        if (reply.ok())
            helloArrived(reply.value);  // else outcomeArrived has shown why
    });
}

void ExplorerWindow::helloArrived(const Hello& hello)
{
    if (std::exchange(liveDisabled_, false))
        setLiveEnabled(true);
    // Another agent's handles name other objects: what the window shows goes. The same
    // agent's still hold, so the opened objects stay.
    if (!sameAgent(connected_, hello))
        forgetHandles();
    else
        details_->reload();  // its request was dropped with the old connection
    connected_ = hello;
    connection_->showConnected(hello);
    updateTakeSnapshot();
    histogramDue_ = true;
    refreshRoots();  // the histogram follows once the roots are listed
}

void ExplorerWindow::forgetHandles()
{
    for (ExplorerPage* page : pages_)
        page->forgetHandles();
    details_->showObject({});
    classes_->clear();
    history_.clear();
    fields_.clear();
    updateNavigation();
}

void ExplorerWindow::outcomeArrived(const RequestOutcome& outcome)
{
    if (lostConnection(outcome.error)) {
        connection_->showDisconnected(fromWire(outcome.error.message));
        updateTakeSnapshot();
    }
    else if (!outcome.error.failed() && !connection_->connected() && !outcome.hello.agentVersion.empty())
        connection_->showConnected(outcome.hello);
}

void ExplorerWindow::refreshHistogram()
{
    classes_->refreshHistogram();
}

void ExplorerWindow::refreshRoots()
{
    objects_->listRoots();
}

void ExplorerWindow::refresh()
{
    currentPage()->refresh();
    details_->reload();
}

void ExplorerWindow::showInObjects(const ObjectRef& object)
{
    history_.opened(object);
    updateNavigation();
    tabs_->setCurrentWidget(objects_);
    objects_->showObject(object);
}

void ExplorerWindow::goBack()
{
    if (const auto object = history_.back()) {
        tabs_->setCurrentWidget(objects_);
        objects_->showObject(*object);
    }
    updateNavigation();
}

void ExplorerWindow::goForward()
{
    if (const auto object = history_.forward()) {
        tabs_->setCurrentWidget(objects_);
        objects_->showObject(*object);
    }
    updateNavigation();
}

void ExplorerWindow::updateNavigation()
{
    actions_->back->setEnabled(history_.canGoBack());
    actions_->forward->setEnabled(history_.canGoForward());
}

void ExplorerWindow::showReferrers(const ObjectRef& object)
{
    tabs_->setCurrentWidget(referrers_);
    referrers_->showReferrers(object);
}

void ExplorerWindow::showPath(const ObjectRef& object)
{
    tabs_->setCurrentWidget(path_);
    path_->showPath(object);
}

void ExplorerWindow::search(const QString& text)
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return;
    const std::optional<HandleText> handle = handleIn(wanted);
    if (handle && (handle->marked || classes_->shownClasses() == 0)) {
        goToHandle(handle->handle);
        return;
    }
    if (wanted.startsWith('@')) {
        nothingFound(tr("“%1” is no handle: a handle is hexadecimal, as in @1a2b").arg(wanted));
        return;
    }
    if (classes_->openBestMatch()) {
        tabs_->setCurrentWidget(classes_);
        classes_->instanceTable()->setFocus();
        return;
    }
    nothingFound(tr("no class name matches “%1”").arg(wanted));
}

void ExplorerWindow::goToHandle(const QString& handle)
{
    // Read first: a handle that names nothing says so instead of opening an empty row.
    ObjectQuery query{handle.toStdString(), {}, 0};
    source_.fetchObject(query, [this, handle](const Result<ObjectView>& reply) {
        if (reply.ok())
            showInObjects(reply.value.object);
        else if (reply.error.code == "not-found")
            nothingFound(tr("no live object has the handle @%1").arg(handle));
    });
}

void ExplorerWindow::nothingFound(const QString& why)
{
    search_->setProperty(kNothingFound, true);
    search_->setStyleSheet(QStringLiteral("QLineEdit { background: #fde2e2; }"));
    status_->warn(tr("Nothing found: %1").arg(why));
}

AttachDialog* ExplorerWindow::openAttachDialog()
{
    if (!attachDialog_) {
        attachDialog_ = new AttachDialog(connected_.pid, this);
        attachDialog_->setAttribute(Qt::WA_DeleteOnClose);
        connect(attachDialog_, &AttachDialog::attached, this, [this](int port, long) { connectTo(port); });
    }
    attachDialog_->show();
    attachDialog_->raise();
    attachDialog_->activateWindow();
    return attachDialog_;
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
    if (const quint32 object = currentSnapshotObject(); object != UINT32_MAX && snapshot_) {
        const QString id = fromWire(snapshot_->row(object).id);
        QGuiApplication::clipboard()->setText(id);
        status_->note(tr("copied %1").arg(id));
    } else if (auto object = currentObject()) {
        QGuiApplication::clipboard()->setText(fromWire(object->handle));
        status_->note(tr("copied handle %1").arg(fromWire(object->handle)));
    }
}

void ExplorerWindow::rememberedLayout(bool restore)
{
    RememberedLayout layout;
    layout.window = this;
    for (ExplorerPage* page : pages_)
        page->rememberLayout(layout);
    layout.splitters.emplace_back(QStringLiteral("main"), mainSplitter_);
    if (!restore) {
        saveLayout(layout);
    } else if (!restoreLayout(layout)) {
        resize(1200, 760);
        mainSplitter_->setSizes({850, 350});
    }
}

void ExplorerWindow::closeEvent(QCloseEvent* event)
{
    rememberedLayout(false);
    objects_->survey()->stop();
    QMainWindow::closeEvent(event);
}

RootSurvey* ExplorerWindow::rootSurvey() const { return objects_->survey(); }
QTreeView* ExplorerWindow::objectsView() const { return objects_->view(); }
QTreeView* ExplorerWindow::referrersView() const { return referrers_->view(); }
QTreeView* ExplorerWindow::pathView() const { return path_->view(); }
HeapTreeModel* ExplorerWindow::objectsModel() const { return objects_->model(); }
HeapTreeModel* ExplorerWindow::referrersModel() const { return referrers_->model(); }
HeapTreeModel* ExplorerWindow::pathModel() const { return path_->model(); }

namespace {

// A dialog for one heap dump file, open while the window goes on; chosen gets the file.
template <class Chosen>
void chooseDump(QWidget* window, const QString& title, const QString& name, Chosen chosen)
{
    auto* dialog = new QFileDialog(window, title, QString(), QObject::tr("Heap dumps (*.hprof *.hprof.gz *.bin);;All files (*)"));
    dialog->setObjectName(name);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    QObject::connect(dialog, &QFileDialog::fileSelected, window, chosen);
    dialog->open();
}

}  // namespace

void ExplorerWindow::chooseDumpFile()
{
    chooseDump(this, tr("Open heap dump"), QStringLiteral("openDumpDialog"),
               [this](const QString& file) { openDumpFile(file); });
}

void ExplorerWindow::chooseEarlierDump()
{
    chooseDump(this, tr("Compare with an earlier heap dump"), QStringLiteral("earlierDumpDialog"),
               [this](const QString& file) { compareWithFile(file); });
}

void ExplorerWindow::compareWithFile(const QString& file)
{
    if (!snapshot_) {
        status_->warn(tr("Open a heap dump first: an earlier one is compared with it"));
        return;
    }
    if (!earlierLoader_->open(file))
        status_->warn(tr("%1 is still being read").arg(QFileInfo(earlierLoader_->file()).fileName()));
}

void ExplorerWindow::openDumpFile(const QString& file)
{
    tabs_->setCurrentWidget(memory_);
    if (!loader_->open(file)) {
        status_->warn(tr("%1 is still being opened: cancel it first").arg(QFileInfo(loader_->file()).fileName()));
        return;
    }
    memory_->showProgress(tr("opening %1").arg(QFileInfo(file).fileName()), 0, 0);
}

void ExplorerWindow::showSnapshot(std::shared_ptr<const Snapshot> snapshot, const QString& file, const QString& note)
{
    snapshot_ = std::move(snapshot);
    actions_->compare->setEnabled(true);
    QElapsedTimer shown;
    shown.start();
    memory_->setSnapshot(snapshot_, file, note);
    tabs_->setCurrentWidget(memory_);
    memory_->dominatorView()->setFocus();
    follow(memory_->dominatorView());
    // The Classes view gives each class's retained bytes beside the live counts.
    QHash<QString, quint64> retained;
    for (const HistogramRow& row : snapshot_->histogram({}).rows)
        retained.insert(fromWire(row.type), row.retained);
    classes_->histogramModel()->setRetained(std::move(retained));
    const HeapSummary heap = snapshot_->summary();
    if (note.isEmpty())
        status_->note(tr("opened %1: %2 objects, %3; the views were ready in %4")
                      .arg(QFileInfo(file).fileName(), countText(static_cast<long long>(heap.objects)),
                           bytesText(static_cast<long long>(heap.bytes)), durationText(shown.elapsed())));
    Q_EMIT snapshotShown();
}

void ExplorerWindow::showSnapshotDetails(quint32 object)
{
    if (snapshot_)
        snapshotDetails_->show(snapshot_, object);
}

void ExplorerWindow::setLiveEnabled(bool enabled, const QString& why)
{
    liveDisabled_ = !enabled;
    if (!enabled)
        tabs_->setCurrentWidget(memory_);
    for (ExplorerPage* page : {static_cast<ExplorerPage*>(objects_), static_cast<ExplorerPage*>(classes_),
                               static_cast<ExplorerPage*>(referrers_), static_cast<ExplorerPage*>(path_)}) {
        const int tab = tabs_->indexOf(page);
        tabs_->setTabEnabled(tab, enabled);
        tabs_->setTabToolTip(tab, enabled ? QString() : why);
    }
    for (QAction* a : {actions_->refresh, actions_->findValue}) {
        a->setEnabled(enabled);
        a->setStatusTip(enabled ? a->toolTip() : why);
    }
    // Show in Objects follows the current row, as the other object actions do.
    if (enabled)
        follow(lastView_);
    else
        actions_->showInObjects->setEnabled(false);
    actions_->showInObjects->setStatusTip(enabled ? actions_->showInObjects->toolTip() : why);
    search_->setEnabled(enabled);
    search_->setPlaceholderText(enabled ? tr("Find a class or @object (Ctrl+F)") : tr("needs a live program"));
    if (!enabled)
        status_->note(why);
}

void ExplorerWindow::updateTakeSnapshot()
{
    QString why;
    if (!connection_->connected() || connected_.pid <= 0)
        why = tr("connect to a Java program first (File → Attach to a Java process…)");
    else if (taker_->busy())
        why = tr("a snapshot is being taken");
    QAction* take = actions_->takeSnapshot;
    take->setEnabled(why.isEmpty());
    const QString tip = why.isEmpty() ? tr("Capture the heap of process %1 and show what holds its memory; the program "
                                           "pauses about as long as a heap dump of it takes")
                                            .arg(connected_.pid)
                                      : tr("Take a snapshot: %1").arg(why);
    take->setToolTip(tip);
    take->setStatusTip(tip);
    updateOpenLive(currentSnapshotObject());  // it too needs the connection
}

void ExplorerWindow::takeSnapshot()
{
    if (costSaid_) {
        takeSnapshotNow();
        return;
    }
    // Before the first one: what it costs the program, which the user may not want now.
    const long long heap = classes_->histogramModel()->histogram().bytes;
    auto* box = new QMessageBox(QMessageBox::Question, tr("Take a snapshot"),
                                tr("Taking a snapshot pauses process %1 about as long as a heap dump of it takes: "
                                   "its VM collects the heap and writes every object%2. The snapshot is then read "
                                   "and analysed here while the program goes on.")
                                    .arg(connected_.pid)
                                    .arg(heap > 0 ? tr(" (%1 in use now)").arg(bytesText(heap)) : QString()),
                                QMessageBox::Ok | QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("snapshotCost"));
    box->button(QMessageBox::Ok)->setText(tr("Take it"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::accepted, this, [this] {
        costSaid_ = true;
        takeSnapshotNow();
    });
    box->open();
}

void ExplorerWindow::takeSnapshotNow()
{
    if (!taker_->take(connected_.pid)) {
        status_->warn(tr("No snapshot: %1").arg(actions_->takeSnapshot->toolTip()));
        return;
    }
    updateTakeSnapshot();
    tabs_->setCurrentWidget(memory_);
    memory_->showProgress(tr("taking a snapshot of process %1").arg(connected_.pid), 0, 0);
}

void ExplorerWindow::updateOpenLive(quint32 object)
{
    QString why;
    if (object == UINT32_MAX)
        why = tr("select an object of a snapshot first");
    else if (!connection_->connected())
        why = tr("no Java program is connected: File → Attach to a Java process… first");
    QAction* live = actions_->openLive;
    live->setEnabled(why.isEmpty());
    const QString tip = why.isEmpty() ? tr("Find the object in the running program and open it in the Objects view")
                                      : tr("Open live: %1").arg(why);
    live->setToolTip(tip);
    live->setStatusTip(tip);
}

void ExplorerWindow::openLive(quint32 object)
{
    if (!snapshot_)
        return;
    const QString id = fromWire(snapshot_->row(object).id);
    QString why;
    LiveLookup lookup = SnapshotTaker::liveLookup(*snapshot_, object, why);
    if (!lookup) {
        status_->warn(tr("Cannot open %1 live: %2").arg(id, why));
        return;
    }
    runner_->run<ObjectRef>(tr("finding %1 in the running program").arg(id), std::move(lookup), this,
                            [this, id](const Result<ObjectRef>& reply) {
                                if (reply.ok())
                                    showInObjects(reply.value);
                                else if (!lostConnection(reply.error))
                                    status_->warn(tr("Cannot open %1 live: %2").arg(id, fromWire(reply.error.message)));
                            });
}
