// The Memory view: what holds the memory in a heap snapshot. Above, what the snapshot is
// (its file, objects and heap) or, while one is opened, the phase and a progress bar with
// Cancel; then the biggest objects (the dominator tree), the classes by retained size and
// the leak suspects in tabs of their own; below, the answer for one snapshot object:
// its path to a GC root or who refers to it, from the snapshot at once.
#pragma once

#include <memory>

#include "explorer_page.h"

class CompareModel;
struct CompareReply;
class QLabel;
class QTreeView;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class Snapshot;
class SnapshotTreeModel;
class SnapshotTreeView;

class MemoryPage : public ExplorerPage {
    Q_OBJECT

public:
    explicit MemoryPage(QWidget* parent = nullptr);

    // The snapshot its views show, from source ("app.hprof", "process 4242"); null shows
    // the placeholder. note, when given, follows the summary (how long the program paused).
    void setSnapshot(std::shared_ptr<const Snapshot> snapshot, const QString& source, const QString& note = {});
    const Snapshot* snapshot() const { return snapshot_.get(); }
    // While a snapshot is opened: what is done now, bytes of total (0: unknown).
    void showProgress(const QString& what, quint64 bytes, quint64 total);
    // Opening ended without a snapshot: why, in the placeholder (the one shown stays).
    void showFailure(const QString& why);

    void showPath(quint32 object);
    void showReferrers(quint32 object);
    // Per class, how the heap grew since an earlier snapshot (earlier names it), in the
    // Compared tab; a refusal says why instead.
    void showComparison(const CompareReply& reply, const QString& earlier);
    // Selects object in the dominator tree, opening its dominators down to it.
    bool revealInTree(quint32 object);
    // The snapshot object a row of one of this page's views names; UINT32_MAX for none.
    quint32 snapshotObjectAt(const QModelIndex& index) const;

    QList<QAbstractItemView*> views() const override;
    void refresh() override {}
    void forgetHandles() override {}  // snapshot rows name no live handle
    void rememberLayout(RememberedLayout& layout) override;

    QTabWidget* memoryTabs() const { return tabs_; }
    SnapshotTreeView* dominatorView() const { return dominators_; }
    SnapshotTreeView* classView() const { return classes_; }
    SnapshotTreeView* suspectsView() const { return suspects_; }
    SnapshotTreeView* answerView() const { return answer_; }
    QTreeView* compareView() const { return compare_; }
    CompareModel* compareModel() const { return compareModel_; }
    QLabel* compareTitle() const { return compareTitle_; }
    QLabel* summaryLine() const { return summary_; }
    QLabel* answerTitle() const { return answerTitle_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* cancelButton() const { return cancel_; }

Q_SIGNALS:
    void cancelRequested();
    void snapshotShown();

private:
    SnapshotTreeView* addTree(SnapshotTreeModel* model, const QString& name);
    // Fills the classes' or the suspects' view the first time it is shown for a snapshot,
    // so the dominator tree's first rows come without waiting for the others.
    void buildShown();

    std::shared_ptr<const Snapshot> snapshot_;
    QStackedWidget* stack_;
    QLabel* placeholder_;
    QWidget* progressLine_;  // the phase, the bar and Cancel, or why there is no snapshot
    QLabel* phase_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    QLabel* summary_;
    QTabWidget* tabs_;
    SnapshotTreeView* dominators_;
    SnapshotTreeView* classes_;
    SnapshotTreeView* suspects_;
    SnapshotTreeView* answer_;
    CompareModel* compareModel_;
    QTreeView* compare_;
    QLabel* compareTitle_;
    QWidget* compareBox_;
    QLabel* answerTitle_;
    QWidget* answerBox_;
    bool classesBuilt_ = false;
    bool suspectsBuilt_ = false;
    class QSplitter* splitter_;
};
