#include "memory_page.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>

#include <utility>

#include "compare_model.h"
#include "display_text.h"
#include "snapshot_queries.h"
#include "snapshot_tree_model.h"
#include "snapshot_tree_view.h"

MemoryPage::MemoryPage(QWidget* parent) : ExplorerPage(parent)
{
    // The placeholder while there is no snapshot.
    auto* waiting = new QWidget(this);
    auto* waitingLayout = new QVBoxLayout(waiting);
    placeholder_ = new QLabel(tr("No heap snapshot yet. File → Open heap dump… (Ctrl+Shift+O) reads an .hprof or "
                                 ".hprof.gz file, such as one a JVM wrote with -XX:+HeapDumpOnOutOfMemoryError; "
                                 "Take a snapshot (Ctrl+Shift+S) captures the connected program's heap."),
                              waiting);
    placeholder_->setObjectName(QStringLiteral("memoryPlaceholder"));
    placeholder_->setWordWrap(true);
    waitingLayout->addStretch(1);
    waitingLayout->addWidget(placeholder_);
    waitingLayout->addStretch(2);

    // The progress of an opening or a capture, above whatever is shown meanwhile.
    progressLine_ = new QWidget(this);
    QWidget* progressLine = progressLine_;
    progressLine->hide();  // until there is something to say
    auto* progressLayout = new QHBoxLayout(progressLine);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    phase_ = new QLabel(progressLine);
    phase_->setObjectName(QStringLiteral("snapshotPhase"));
    phase_->setWordWrap(true);
    progress_ = new QProgressBar(progressLine);
    progress_->setObjectName(QStringLiteral("snapshotProgress"));
    progress_->hide();
    cancel_ = new QPushButton(tr("Cancel"), progressLine);
    cancel_->setObjectName(QStringLiteral("snapshotCancel"));
    cancel_->hide();
    progressLayout->addWidget(phase_, 2);
    progressLayout->addWidget(progress_, 1);
    progressLayout->addWidget(cancel_);
    connect(cancel_, &QPushButton::clicked, this, &MemoryPage::cancelRequested);

    // The views.
    auto* content = new QWidget(this);
    summary_ = new QLabel(content);
    summary_->setObjectName(QStringLiteral("snapshotSummary"));
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tabs_ = new QTabWidget(content);
    tabs_->setObjectName(QStringLiteral("memoryViews"));
    tabs_->setDocumentMode(true);
    dominators_ = addTree(new SnapshotTreeModel(this), QStringLiteral("biggestObjects"));
    classes_ = addTree(new SnapshotTreeModel(this), QStringLiteral("classesByRetained"));
    suspects_ = addTree(new SnapshotTreeModel(this), QStringLiteral("leakSuspects"));
    tabs_->addTab(dominators_, tr("&Biggest objects"));
    tabs_->addTab(classes_, tr("By c&lass"));
    tabs_->addTab(suspects_, tr("Leak &suspects"));
    compareBox_ = new QWidget(content);
    auto* compareLayout = new QVBoxLayout(compareBox_);
    compareLayout->setContentsMargins(0, 0, 0, 0);
    compareTitle_ = new QLabel(compareBox_);
    compareTitle_->setWordWrap(true);
    compareModel_ = new CompareModel(this);
    compare_ = new QTreeView(compareBox_);
    compare_->setObjectName(QStringLiteral("comparedClasses"));
    compare_->setModel(compareModel_);
    compare_->setRootIsDecorated(false);
    compare_->setUniformRowHeights(true);
    compare_->setAlternatingRowColors(true);
    compare_->setAllColumnsShowFocus(true);
    compare_->setContextMenuPolicy(Qt::CustomContextMenu);
    compare_->header()->resizeSection(CompareModel::ClassColumn, 380);
    compareLayout->addWidget(compareTitle_);
    compareLayout->addWidget(compare_, 1);
    connect(tabs_, &QTabWidget::currentChanged, this, &MemoryPage::buildShown);
    // A suspect's object, accumulation point or path step opens where it sits in the tree.
    suspects_->setObjectsSignal(true);
    connect(suspects_, &SnapshotTreeView::objectActivated, this, &MemoryPage::revealInTree);

    answerBox_ = new QWidget(content);
    auto* answerLayout = new QVBoxLayout(answerBox_);
    answerLayout->setContentsMargins(0, 0, 0, 0);
    answerTitle_ = new QLabel(tr("Path to GC root (Ctrl+P) or Who refers to this (Ctrl+R) on a snapshot object "
                                 "answers here."),
                              answerBox_);
    answerTitle_->setWordWrap(true);
    answer_ = addTree(new SnapshotTreeModel(this), QStringLiteral("snapshotAnswer"));
    answer_->setObjectsSignal(true);
    connect(answer_, &SnapshotTreeView::objectActivated, this, &MemoryPage::revealInTree);
    answerLayout->addWidget(answerTitle_);
    answerLayout->addWidget(answer_, 1);

    splitter_ = new QSplitter(Qt::Vertical, content);
    splitter_->setObjectName(QStringLiteral("memorySplitter"));
    splitter_->addWidget(tabs_);
    splitter_->addWidget(answerBox_);
    splitter_->setStretchFactor(0, 3);
    splitter_->setStretchFactor(1, 1);
    splitter_->setChildrenCollapsible(false);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->addWidget(summary_);
    contentLayout->addWidget(splitter_, 1);

    stack_ = new QStackedWidget(this);
    stack_->addWidget(waiting);
    stack_->addWidget(content);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(progressLine);
    layout->addWidget(stack_, 1);
}

void MemoryPage::buildShown()
{
    if (!snapshot_)
        return;
    if (tabs_->currentWidget() == classes_ && !std::exchange(classesBuilt_, true))
        classes_->snapshotModel()->showClasses();
    if (tabs_->currentWidget() == suspects_ && !std::exchange(suspectsBuilt_, true)) {
        suspects_->snapshotModel()->showSuspects();
        suspects_->expandToDepth(0);
    }
}

SnapshotTreeView* MemoryPage::addTree(SnapshotTreeModel* model, const QString& name)
{
    return new SnapshotTreeView(model, name, this);
}

void MemoryPage::setSnapshot(std::shared_ptr<const Snapshot> snapshot, const QString& source, const QString& note)
{
    snapshot_ = std::move(snapshot);
    progress_->hide();
    cancel_->hide();
    phase_->clear();
    progressLine_->hide();
    for (SnapshotTreeView* view : {dominators_, classes_, suspects_, answer_})
        view->snapshotModel()->setSnapshot(snapshot_);
    // A comparison was with the snapshot shown before.
    const int compared = tabs_->indexOf(compareBox_);
    if (compared >= 0)
        tabs_->removeTab(compared);
    compareModel_->setReply({});
    if (!snapshot_) {
        stack_->setCurrentIndex(0);
        return;
    }
    const HeapSummary heap = snapshot_->summary();
    summary_->setText(tr("%1: %2 objects, %3 (%4 reachable from the GC roots), %5 classes%6")
                          .arg(QFileInfo(source).fileName().isEmpty() ? source : QFileInfo(source).fileName(),
                               countText(static_cast<long long>(heap.objects)),
                               bytesText(static_cast<long long>(heap.bytes)),
                               bytesText(static_cast<long long>(heap.reachableBytes)),
                               countText(static_cast<long long>(heap.classes)),
                               heap.javaVersion.empty() ? QString() : tr(", Java %1").arg(fromWire(heap.javaVersion))) +
                      (note.isEmpty() ? QString() : QStringLiteral("; ") + note));
    summary_->setToolTip(source);
    dominators_->snapshotModel()->showDominators();
    classesBuilt_ = suspectsBuilt_ = false;
    buildShown();
    answerTitle_->setText(tr("Path to GC root (Ctrl+P) or Who refers to this (Ctrl+R) on a snapshot object "
                             "answers here."));
    stack_->setCurrentIndex(1);
    dominators_->setCurrentIndex(dominators_->model()->index(0, 0));
    Q_EMIT snapshotShown();
}

void MemoryPage::showProgress(const QString& what, quint64 bytes, quint64 total)
{
    progressLine_->show();
    phase_->setText(total > 0 ? tr("%1: %2 of %3").arg(what, bytesText(static_cast<long long>(bytes)),
                                                          bytesText(static_cast<long long>(total)))
                              : what);
    progress_->show();
    cancel_->show();
    if (total > 0) {
        progress_->setRange(0, 1000);
        progress_->setValue(static_cast<int>(1000.0 * static_cast<double>(std::min(bytes, total)) / static_cast<double>(total)));
    } else {
        progress_->setRange(0, 0);  // busy: no end known
    }
}

void MemoryPage::showFailure(const QString& why)
{
    progress_->hide();
    cancel_->hide();
    phase_->setText(why);
    progressLine_->show();
}

void MemoryPage::showComparison(const CompareReply& reply, const QString& earlier)
{
    compareModel_->setReply(reply);
    if (!reply.comparable) {
        compareTitle_->setText(tr("%1 cannot be compared with this snapshot: %2").arg(earlier, fromWire(reply.refusal)));
    } else {
        compareTitle_->setText(tr("Since %1: %2 objects, %3 in all, %4 reachable; per class, largest growth first.")
                                   .arg(earlier, (reply.objects > 0 ? QStringLiteral("+") : QString()) + countText(reply.objects),
                                        signedSizeText(reply.bytes, false), signedSizeText(reply.reachableBytes, false)));
    }
    if (tabs_->indexOf(compareBox_) < 0)
        tabs_->addTab(compareBox_, tr("C&ompared"));
    tabs_->setCurrentWidget(compareBox_);
    compare_->setCurrentIndex(compareModel_->index(0, 0));
}

void MemoryPage::showPath(quint32 object)
{
    SnapshotTreeModel* model = answer_->snapshotModel();
    model->showPath(object);
    answerTitle_->setText(tr("Path to GC root of %1, from the snapshot:").arg(fromWire(snapshot_->row(object).id)));
    answer_->expandAll();
}

void MemoryPage::showReferrers(quint32 object)
{
    answer_->snapshotModel()->showReferrers(object);
    answerTitle_->setText(tr("Who refers to %1, in the snapshot:").arg(fromWire(snapshot_->row(object).id)));
}

bool MemoryPage::revealInTree(quint32 object)
{
    const QModelIndex row = dominators_->snapshotModel()->reveal(object);
    if (!row.isValid())
        return false;
    tabs_->setCurrentWidget(dominators_);
    for (QModelIndex up = row.parent(); up.isValid(); up = up.parent())
        dominators_->expand(up);
    dominators_->setCurrentIndex(row);
    dominators_->scrollTo(row);
    dominators_->setFocus();
    return true;
}

quint32 MemoryPage::snapshotObjectAt(const QModelIndex& index) const
{
    const QVariant object = index.data(SnapshotTreeModel::SnapshotObjectRole);
    return object.isValid() ? object.value<quint32>() : UINT32_MAX;
}

QList<QAbstractItemView*> MemoryPage::views() const
{
    return {dominators_, classes_, suspects_, answer_, compare_};
}

void MemoryPage::rememberLayout(RememberedLayout& layout)
{
    layout.headers.emplace_back(QStringLiteral("biggestObjects"), dominators_->header());
    layout.headers.emplace_back(QStringLiteral("classesByRetained"), classes_->header());
    layout.headers.emplace_back(QStringLiteral("leakSuspects"), suspects_->header());
    layout.headers.emplace_back(QStringLiteral("comparedClasses"), compare_->header());
    layout.splitters.emplace_back(QStringLiteral("memory"), splitter_);
}
