// Take a snapshot in the explorer against a real JVM running the agent and a program that
// holds a million small objects in one array from a static: the cost said before the
// first, the Memory view on the captured heap (its biggest retainer, its accumulation
// point paged), the pause in the status bar, a snapshot object opened live, and Cancel
// during a capture leaving the window and the program as they were.
#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "agent_jvm.h"
#include "connection_bar.h"
#include "heap_tree_model.h"
#include "object_roles.h"
#include "objects_page.h"
#include "explorer_actions.h"
#include "explorer_window.h"
#include "fake_agent.h"
#include "memory_page.h"
#include "request_status.h"
#include "snapshot_queries.h"
#include "snapshot_taker.h"
#include "snapshot_tree_model.h"
#include "snapshot_tree_view.h"

namespace {

constexpr int kElements = 1000000;
constexpr int kWaitMs = 30000;
constexpr int kCaptureMs = 120000;

}  // namespace

class SnapshotCaptureTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void aSnapshotShowsWhatHoldsTheMemoryAndThePause();
    void openLiveFindsTheSnapshotObjectInTheProgram();
    void cancelDuringACaptureKeepsTheWindowAndTheProgram();

private:
    QTemporaryDir settings_;
    std::unique_ptr<QProcess> jvm_;
    std::unique_ptr<ExplorerWindow> window_;
    int port_ = 0;
};

void SnapshotCaptureTest::initTestCase()
{
    QVERIFY(settings_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
    port_ = FakeAgent::unusedPort();
    QString java = qEnvironmentVariable("VORLAN_TEST_JAVA");
    if (java.isEmpty())
        java = QStringLiteral(JDK_JAVA);
    jvm_ = std::make_unique<QProcess>();
    jvm_->setProgram(java);
    jvm_->setArguments({QStringLiteral("-agentpath:" VORLAN_AGENT "=port=%1,kind=1,debug=0").arg(port_),
                        QStringLiteral("-cp"), QStringLiteral(EXPLORER_TARGET_CLASSES), QStringLiteral("ExplorerTarget"),
                        QStringLiteral("big"), QString::number(kElements)});
    jvm_->start();
    const QString notListening = waitForAgentListening(*jvm_);
    QVERIFY2(notListening.isEmpty(), qPrintable(notListening));
    window_ = std::make_unique<ExplorerWindow>(port_);
    window_->show();
    QTRY_VERIFY_WITH_TIMEOUT(window_->connectionBar()->connected(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(window_->actions().takeSnapshot->isEnabled(), kWaitMs);
}

void SnapshotCaptureTest::cleanupTestCase()
{
    window_.reset();
    killJvm(jvm_.get());
}

void SnapshotCaptureTest::aSnapshotShowsWhatHoldsTheMemoryAndThePause()
{
    QSignalSpy shown(window_.get(), &ExplorerWindow::snapshotShown);
    window_->actions().takeSnapshot->trigger();
    // Before the first one, the window says what it costs; nothing is taken until agreed.
    QMessageBox* cost = window_->findChild<QMessageBox*>(QStringLiteral("snapshotCost"));
    QVERIFY(cost);
    QVERIFY2(cost->text().contains(QStringLiteral("pauses process")), qPrintable(cost->text()));
    QVERIFY(!window_->snapshotTaker()->busy());
    cost->button(QMessageBox::Ok)->click();
    QVERIFY(window_->snapshotTaker()->busy());
    QVERIFY(window_->memoryPage()->cancelButton()->isVisible() || window_->tabs()->currentWidget() != window_->memoryPage());
    QVERIFY(shown.wait(kCaptureMs));

    MemoryPage* memory = window_->memoryPage();
    const QString summary = memory->summaryLine()->text();
    QVERIFY2(summary.contains(QStringLiteral("the program was paused")) ||
                 summary.contains(QStringLiteral("how long the program was paused is unknown")),
             qPrintable(summary));
    QVERIFY2(window_->requestStatus()->message().startsWith(QStringLiteral("snapshot taken: ")),
             qPrintable(window_->requestStatus()->message()));
    QVERIFY(!memory->cancelButton()->isVisible());

    // The holder of the million elements is the suspect, through the static that holds it.
    memory->memoryTabs()->setCurrentWidget(memory->suspectsView());
    SnapshotTreeModel* suspects = memory->suspectsView()->snapshotModel();
    const QString sentence = suspects->index(0, 0).data().toString();
    QVERIFY2(sentence.startsWith(QStringLiteral("one ExplorerBigHolder held by ExplorerTarget.BIG retains")),
             qPrintable(sentence));
    // Its accumulation point, the array, opens a page of its million children at a time.
    const uint32_t array = suspects->objectAt(suspects->index(1, 0, suspects->index(0, 0)));
    QVERIFY(array != UINT32_MAX);
    QCOMPARE(memory->snapshot()->row(array).type, std::string("java.lang.Object[]"));
    QVERIFY(memory->revealInTree(array));
    SnapshotTreeView* tree = memory->dominatorView();
    const QModelIndex arrayRow = tree->currentIndex();
    tree->expand(arrayRow);
    SnapshotTreeModel* model = tree->snapshotModel();
    QTRY_COMPARE(model->rowCount(arrayRow), static_cast<int>(model->pageSize()) + 1);
    const QModelIndex more = model->index(model->rowCount(arrayRow) - 1, 0, arrayRow);
    QVERIFY(more.data(SnapshotTreeModel::MoreRole).toBool());
    QVERIFY2(more.data().toString().contains(QStringLiteral("999,800 more")), qPrintable(more.data().toString()));
    QCOMPARE(model->index(0, SnapshotTreeModel::TypeColumn, arrayRow).data().toString(), QStringLiteral("ExplorerElement"));
}

void SnapshotCaptureTest::openLiveFindsTheSnapshotObjectInTheProgram()
{
    MemoryPage* memory = window_->memoryPage();
    SnapshotTreeModel* suspects = memory->suspectsView()->snapshotModel();
    const QModelIndex holder = suspects->index(0, 0, suspects->index(0, 0));
    QCOMPARE(memory->snapshot()->row(suspects->objectAt(holder)).type, std::string("ExplorerBigHolder"));
    window_->tabs()->setCurrentWidget(memory);
    memory->memoryTabs()->setCurrentWidget(memory->suspectsView());
    memory->suspectsView()->setFocus();
    memory->suspectsView()->setCurrentIndex(holder);
    QVERIFY(window_->actions().openLive->isEnabled());
    window_->actions().openLive->trigger();
    // The live object, with its values now, in the Objects view.
    QTRY_COMPARE_WITH_TIMEOUT(window_->tabs()->currentWidget(), static_cast<QWidget*>(window_->objectsPage()), kWaitMs);
    const QModelIndex opened = window_->objectsView()->currentIndex();
    QVERIFY2(opened.data(WireTypeRole).toString().contains(QStringLiteral("ExplorerBigHolder")),
             qPrintable(opened.data(WireTypeRole).toString()));
    QVERIFY(!opened.data(HandleRole).toString().isEmpty());
}

void SnapshotCaptureTest::cancelDuringACaptureKeepsTheWindowAndTheProgram()
{
    MemoryPage* memory = window_->memoryPage();
    QVERIFY(memory->snapshot());  // the one taken before
    const Snapshot* before = memory->snapshot();
    QSignalSpy progress(window_->snapshotTaker(), &SnapshotTaker::progress);
    QSignalSpy failed(window_.get(), &ExplorerWindow::snapshotFailed);
    window_->actions().takeSnapshot->trigger();  // the cost was said: no question again
    QVERIFY(!window_->findChild<QMessageBox*>(QStringLiteral("snapshotCost")));
    QVERIFY(window_->snapshotTaker()->busy());
    QVERIFY(!window_->actions().takeSnapshot->isEnabled());
    QVERIFY(progress.wait(kWaitMs));
    QVERIFY(memory->cancelButton()->isVisible());
    QTest::mouseClick(memory->cancelButton(), Qt::LeftButton);
    QVERIFY(failed.wait(kCaptureMs));
    QCOMPARE(failed.takeFirst().at(0).toString(), QStringLiteral("cancelled"));
    QCOMPARE(memory->snapshot(), before);  // what was shown stays
    QVERIFY(!memory->cancelButton()->isVisible());
    QVERIFY(window_->actions().takeSnapshot->isEnabled());
    // The program goes on, and so does its agent.
    QCOMPARE(jvm_->state(), QProcess::Running);
    window_->refreshHistogram();
    QTRY_VERIFY_WITH_TIMEOUT(!window_->requestStatus()->showingFailure() && !window_->requestStatus()->busy(), kWaitMs);
    QVERIFY(window_->connectionBar()->connected());
}

QTEST_MAIN(SnapshotCaptureTest)
#include "snapshot_capture_test.moc"
