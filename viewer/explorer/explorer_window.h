// The explorer's main window: the connection line and class search above; the Objects,
// Classes, Referrers and Path to GC root pages in tabs; the details pane beside them;
// requests and their pauses in the status bar. It wires pages to each other and the
// object actions to the views; the pages, models and panes do the rest.
#pragma once

#include <QMainWindow>

#include <memory>
#include <optional>

#include "agent_heap_source.h"
#include "reply_views.h"

class ClassesPage;
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
    ~ExplorerWindow() override;

    // Drops the connection there is and starts afresh on port: hello, the histogram and
    // the GC roots.
    void connectTo(int port);
    // Shows the object under "Opened objects" in the Objects view, selected and opened.
    void showInObjects(const ObjectRef& object);
    void showReferrers(const ObjectRef& object);
    void showPath(const ObjectRef& object);
    void refreshHistogram();
    void refreshRoots();

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
    ClassesPage* classesPage() const { return classes_; }
    DetailsPane* details() const { return details_; }
    QLineEdit* searchBox() const { return search_; }

Q_SIGNALS:
    // The histogram's rows are in the Classes view (tests and the benchmark wait for it).
    void histogramShown();
    void pathShown();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildTop();
    void addPage(ExplorerPage* page, const QString& title);
    void connectActions();
    void watchView(QAbstractItemView* view);
    void rememberedLayout(bool restore);

    ExplorerPage* currentPage() const;
    std::optional<ObjectRef> currentObject() const;
    void showContextMenu(QAbstractItemView* view, const QPoint& position);
    void currentChanged(const QModelIndex& index);
    void refresh();
    void copyRow();
    void copyHandle();
    void outcomeArrived(const RequestOutcome& outcome);

    RequestRunner* runner_;
    AgentHeapSource source_;
    std::unique_ptr<ExplorerActions> actions_;

    ConnectionBar* connection_;
    QLineEdit* search_;
    QTabWidget* tabs_;
    QSplitter* mainSplitter_;
    ObjectsPage* objects_;
    ClassesPage* classes_;
    ReferrersPage* referrers_;
    PathPage* path_;
    QList<ExplorerPage*> pages_;  // in tab order
    DetailsPane* details_;
    RequestStatus* status_;
    QAbstractItemView* lastView_ = nullptr;  // the view whose row the object actions act on
    bool histogramDue_ = false;  // after connecting, once the first roots are listed
};
