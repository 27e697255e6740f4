// The explorer's main window: the connection line and class search above; the Objects,
// Classes, Referrers and Path to GC root views in tabs; the details pane beside them;
// requests and their pauses in the status bar. It wires views to models and actions to
// requests; the models, pages and panes do the rest.
#pragma once

#include <QMainWindow>

#include <memory>
#include <optional>

#include "agent_heap_source.h"
#include "reply_views.h"

class ClassesPage;
class ConnectionBar;
class DetailsPane;
class HeapTreeModel;
class QAbstractItemView;
class QAction;
class QLabel;
class QLineEdit;
class QModelIndex;
class QSplitter;
class QTabWidget;
class QTreeView;
class RequestRunner;
class RequestStatus;
class RootGroups;
class RootSurvey;
struct ClientError;
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
    RootSurvey* rootSurvey() const { return survey_; }
    QTabWidget* tabs() const { return tabs_; }
    QTreeView* objectsView() const { return objectsView_; }
    QTreeView* referrersView() const { return referrersView_; }
    QTreeView* pathView() const { return pathView_; }
    HeapTreeModel* objectsModel() const { return objectsModel_; }
    HeapTreeModel* referrersModel() const { return referrersModel_; }
    HeapTreeModel* pathModel() const { return pathModel_; }
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
    QTreeView* makeTree(HeapTreeModel* model, const QString& name);
    QWidget* titledPage(QLabel* title, QWidget* body);
    void buildActions();
    void buildMenus();
    void watchView(QAbstractItemView* view);
    void rememberedLayout(bool restore);

    QAbstractItemView* currentView() const;
    std::optional<ObjectRef> objectAt(const QModelIndex& index) const;
    std::optional<ObjectRef> currentObject() const;
    void activate(QAbstractItemView* view, const QModelIndex& index);
    void showContextMenu(QAbstractItemView* view, const QPoint& position);
    void currentChanged(const QModelIndex& index);
    void refresh();
    void copyRow();
    void copyHandle();
    // Empties every view that shows handles (not the histogram).
    void forgetHandles();
    void outcomeArrived(const RequestOutcome& outcome);
    void pathArrived(const ObjectRef& object, const Result<PathReply>& reply);

    RequestRunner* runner_;
    AgentHeapSource source_;
    RootSurvey* survey_;
    HeapTreeModel* objectsModel_;
    HeapTreeModel* referrersModel_;
    HeapTreeModel* pathModel_;
    std::unique_ptr<RootGroups> roots_;

    ConnectionBar* connection_;
    QLineEdit* search_;
    QTabWidget* tabs_;
    QSplitter* mainSplitter_;
    QTreeView* objectsView_;
    QTreeView* referrersView_;
    QTreeView* pathView_;
    QLabel* referrersTitle_;
    QLabel* pathTitle_;
    ClassesPage* classes_;
    DetailsPane* details_;
    RequestStatus* status_;
    QAbstractItemView* lastView_ = nullptr;
    std::optional<ObjectRef> pathTarget_;  // what the Path view shows the way to
    bool histogramDue_ = false;            // after connecting, once the first roots are listed

    QAction* connectAction_;
    QAction* refreshAction_;
    QAction* closeAction_;
    QAction* findAction_;
    QAction* copyRowAction_;
    QAction* copyHandleAction_;
    QAction* showInObjectsAction_;
    QAction* referrersAction_;
    QAction* pathAction_;
};
