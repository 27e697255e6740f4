// The main window "Vorlan": the "classes" tree of heap objects with its "refresh" and
// "close" buttons. Every request blocks the window until its reply has been read.
#pragma once

#include <QWidget>

#include "agent_client.h"
#include "command_line.h"
#include "trace_log.h"

class QModelIndex;
class QPushButton;
class QTreeView;
class ObjectTreeModel;
class TForm2;

constexpr const char* kRootCaption = "classes";

class TForm1 : public QWidget {
    Q_OBJECT

public:
    // Shows the window and makes the first connection attempt, to initialPort, with
    // tracing still off.
    explicit TForm1(int initialPort = kDefaultPort, QWidget* parent = nullptr);

    // Takes the settings read from the command line; at debug level 1 every trace text
    // goes to logWindow.
    void configure(const ViewerOptions& options, TForm2* logWindow);

    int debugLevel() const { return debug_; }
    ObjectTreeModel* model() const { return model_; }
    AgentClient& client() { return client_; }

    QTreeView* tree;
    QPushButton* refresh_btn;
    QPushButton* close_btn;

public slots:
    void refresh_btnClick();
    void treeExpanding(const QModelIndex& node);
    void treeDblClick(QObject* sender);
    void close_btnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addObjectNodes(const QModelIndex& parent, const ReplyLines& lines);

    int debug_ = 0;
    TraceLog trace_;
    AgentClient client_;
    ObjectTreeModel* model_;
    TForm2* logWindow_ = nullptr;
};
