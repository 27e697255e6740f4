// File → Attach to a Java process…: the Java processes this user may attach to, listed
// as jcmd lists them; one click (a double click, Enter, or Attach) loads Vorlan's agent
// into the one chosen when it has none, and the window connects to it. Listing and
// loading run on a worker thread; a failure is one sentence in the dialog, which stays.
#pragma once

#include <QDialog>
#include <QFutureWatcher>

#include "agent_by_pid.h"
#include "local_jvms.h"

class LocalJvmsModel;
class QLabel;
class QPushButton;
class QTableView;

class AttachDialog : public QDialog {
    Q_OBJECT

public:
    // connectedPid: the process the window is connected to now, or -1.
    AttachDialog(long connectedPid, QWidget* parent = nullptr);
    ~AttachDialog() override;

    // Lists the processes afresh.
    void refresh();
    // Connects to the agent in pid, loading it first when none listens there.
    void attachTo(long pid);

    QTableView* table() const { return table_; }
    LocalJvmsModel* model() const { return model_; }
    QString statusText() const;
    bool busy() const;

Q_SIGNALS:
    void listed();
    // The agent in pid listens on port; the dialog closes.
    void attached(int port, long pid);

private:
    void attachCurrent();
    void setStatus(const QString& text, bool failure = false);
    void setBusy(bool busy);

    long connectedPid_;
    LocalJvmsModel* model_;
    QTableView* table_;
    QLabel* status_;
    QPushButton* attach_;
    QPushButton* refresh_;
    QFutureWatcher<std::vector<LocalJvm>> listing_;
    QFutureWatcher<AgentByPid> loading_;
    long loadingPid_ = 0;
};
