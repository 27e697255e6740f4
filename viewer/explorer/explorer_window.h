// The explorer's main window: the connection line and the search above; the Objects,
// Classes, Referrers, Path to GC root and Memory (heap snapshot) pages in tabs; the
// details pane beside them;
// requests and their pauses in the status bar. It wires pages to each other and the
// object actions to the views (the current row of the view worked in last, on any tab);
// the pages, models and panes do the rest.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <optional>

#include "agent_heap_source.h"
#include "attach_dialog.h"
#include "fields_choice.h"
#include "object_history.h"
#include "reply_views.h"

class ClassesPage;
class MemoryPage;
class Snapshot;
class SnapshotLoader;
class SnapshotDetailsReader;
class SnapshotTaker;
class ConnectionBar;
class DetailsPane;
class ExplorerPage;
class HeapTreeModel;
class ObjectsPage;
class PathPage;
class QAbstractItemView;
class QLineEdit;
class QModelIndex;
class QSplitter;
class QTabWidget;
class QTreeView;
class ReferrersPage;
class RequestRunner;
class RequestStatus;
class RootSurvey;
struct ExplorerActions;
struct RequestOutcome;

class ExplorerWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit ExplorerWindow(int port, QWidget* parent = nullptr);
    // Opens the heap dump file without connecting to any agent: the Memory view works, the
    // live views wait for a connection (File → Attach, or Connect).
    ExplorerWindow(const QString& dumpFile, int port, QWidget* parent = nullptr);
    ~ExplorerWindow() override;

    // File → Open heap dump…: a file dialog, then openDumpFile.
    void chooseDumpFile();
    // Reads the dump file on a thread of its own into the Memory view; a failure is said
    // in the status bar and the view, and what was shown stays.
    void openDumpFile(const QString& file);
    // Take a snapshot: says what it costs before the first one, then takeSnapshotNow.
    void takeSnapshot();
    // Captures the connected program's heap on a thread of its own into the Memory view.
    void takeSnapshotNow();
    // File → Compare with an earlier snapshot…: a file dialog, then compareWithFile.
    void chooseEarlierDump();
    // Reads the earlier dump file on a thread of its own and shows, per class, how the
    // snapshot shown grew since; two programs' snapshots are refused with the reason.
    void compareWithFile(const QString& file);

    // Drops the connection there is and starts afresh on port: hello, the histogram and
    // the GC roots. The objects shown stay when it is the same agent again.
    void connectTo(int port);
    // Shows the object under "Opened objects" in the Objects view, selected and opened,
    // and makes it the latest for Back and Forward.
    void showInObjects(const ObjectRef& object);
    void showReferrers(const ObjectRef& object);
    void showPath(const ObjectRef& object);
    void refreshHistogram();
    void refreshRoots();
    // What the search box's Enter does: opens the class it names (`*` for any run of
    // characters) or the object whose handle it is ("@1a2b", or "1a2b" when no class
    // matches), else says that nothing was found.
    void search(const QString& text);
    // The object opened before (after) the current one, in the Objects view.
    void goBack();
    void goForward();
    // File → Attach to a Java process…
    AttachDialog* openAttachDialog();

    ConnectionBar* connectionBar() const { return connection_; }
    RequestStatus* requestStatus() const { return status_; }
    RequestRunner* runner() const { return runner_; }
    RootSurvey* rootSurvey() const;
    QTabWidget* tabs() const { return tabs_; }
    QTreeView* objectsView() const;
    QTreeView* referrersView() const;
    QTreeView* pathView() const;
    HeapTreeModel* objectsModel() const;
    HeapTreeModel* referrersModel() const;
    HeapTreeModel* pathModel() const;
    ObjectsPage* objectsPage() const { return objects_; }
    ClassesPage* classesPage() const { return classes_; }
    MemoryPage* memoryPage() const { return memory_; }
    SnapshotLoader* snapshotLoader() const { return loader_; }
    SnapshotLoader* earlierLoader() const { return earlierLoader_; }
    SnapshotTaker* snapshotTaker() const { return taker_; }
    SnapshotDetailsReader* snapshotDetails() const { return snapshotDetails_; }
    DetailsPane* details() const { return details_; }
    QLineEdit* searchBox() const { return search_; }
    const ExplorerActions& actions() const { return *actions_; }
    AttachDialog* attachDialog() const { return attachDialog_; }

Q_SIGNALS:
    // The histogram's rows are in the Classes view (tests and the benchmark wait for it).
    void histogramShown();
    void pathShown();
    // A snapshot is shown in the Memory view, or opening one failed.
    void snapshotShown();
    void snapshotFailed(const QString& why);
    void comparisonShown();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ExplorerWindow(int port, const QString& dumpFile, bool connectNow, QWidget* parent);
    QWidget* buildTop();
    void addPage(ExplorerPage* page, const QString& title);
    void connectActions();
    void connectSnapshots();
    void watchView(QAbstractItemView* view, ExplorerPage* page);
    void rememberedLayout(bool restore);

    ExplorerPage* currentPage() const;
    std::optional<ObjectRef> currentObject() const;
    void showContextMenu(QAbstractItemView* view, const QPoint& position);
    // The view the object actions now act on, and its current row.
    void follow(QAbstractItemView* view);
    void currentChanged(const QModelIndex& index);
    void refresh();
    void copyRow();
    void copyHandle();
    void showInternals(bool fields);
    void goToHandle(const QString& handle);
    void nothingFound(const QString& why);
    void helloArrived(const Hello& hello);
    void forgetHandles();
    void outcomeArrived(const RequestOutcome& outcome);
    void updateNavigation();
    // The snapshot object the row of the view worked in last names, UINT32_MAX for none.
    quint32 currentSnapshotObject() const;
    void showSnapshot(std::shared_ptr<const Snapshot> snapshot, const QString& source, const QString& note);
    // Take a snapshot usable or not, with the reason in its tip.
    void updateTakeSnapshot();
    // Open live usable on the snapshot object (UINT32_MAX: none), or why not in its tip.
    void updateOpenLive(quint32 object);
    // Finds the snapshot object in the running program and opens it in the Objects view,
    // or says why it cannot (the heap changed, no agent).
    void openLive(quint32 object);
    // The live views and actions usable or not (no agent has answered), with the reason.
    void setLiveEnabled(bool enabled, const QString& why = {});
    void showSnapshotDetails(quint32 object);

    RequestRunner* runner_;
    AgentHeapSource source_;
    AgentHeapSource quietSource_;  // what the window reads by itself: the details pane
    std::unique_ptr<ExplorerActions> actions_;
    FieldsChoice fields_;
    ObjectHistory history_;

    ConnectionBar* connection_;
    QLineEdit* search_;
    QTabWidget* tabs_;
    QSplitter* mainSplitter_;
    ObjectsPage* objects_;
    ClassesPage* classes_;
    ReferrersPage* referrers_;
    PathPage* path_;
    MemoryPage* memory_;
    SnapshotLoader* loader_;
    SnapshotLoader* earlierLoader_;  // an earlier dump, read to compare with
    SnapshotTaker* taker_;
    bool costSaid_ = false;  // the window has said what a snapshot costs
    std::shared_ptr<const Snapshot> snapshot_;
    bool liveDisabled_ = false;  // opened on a dump file, no agent has answered yet
    SnapshotDetailsReader* snapshotDetails_;
    QList<ExplorerPage*> pages_;  // in tab order
    DetailsPane* details_;
    RequestStatus* status_;
    QPointer<AttachDialog> attachDialog_;
    QAbstractItemView* lastView_ = nullptr;  // the view whose row the object actions act on
    bool histogramDue_ = false;  // after connecting, once the first roots are listed
    Hello connected_;            // the agent's hello on the last connection that answered
    QMetaObject::Connection focusWatch_;
};
