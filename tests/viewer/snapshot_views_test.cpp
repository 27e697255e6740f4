// The explorer's Memory view on a hand-built dump of a program that leaks (leaky_dump.h),
// whose biggest retainer is known: the static map LeakyCache.SESSIONS. Its models under
// QAbstractItemModelTester (pages, "more" rows, classes opening to their instances,
// suspects with their path and accumulation point, answers for one object), and the
// window offscreen: the dump opened from the command line's form and from the File menu,
// a corrupt file from the menu, the object actions on snapshot rows, copied rows.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "classes_page.h"
#include "compare_model.h"
#include "details_pane.h"
#include "explorer_actions.h"
#include "explorer_options.h"
#include "explorer_window.h"
#include "fake_agent.h"
#include "histogram_model.h"
#include "leaky_dump.h"
#include "memory_page.h"
#include "request_status.h"
#include "snapshot_open.h"
#include "snapshot_queries.h"
#include "snapshot_tree_model.h"
#include "snapshot_tree_view.h"

namespace {

constexpr unsigned kSessions = 30;

// The model lists a page where it is asked, at once: the tester's own fetching from inside
// the model's signals would nest one change in another, so the tests fetch themselves.
std::unique_ptr<QAbstractItemModelTester> testerOf(QAbstractItemModel* model)
{
    auto tester = std::make_unique<QAbstractItemModelTester>(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    tester->setUseFetchMore(false);
    return tester;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

}  // namespace

class SnapshotViewsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void dominatorTreePagesChildrenLargestFirst();
    void classesOpenToTheirBiggestInstances();
    void suspectsSayWhoHoldsTheMapWithPathAndAccumulationPoint();
    void revealOpensTheTreeDownToADeepObject();
    void pathAndReferrersComeFromTheSnapshot();

    void dumpFileOpensWithoutAnAgentAndLiveViewsSayWhy();
    void objectActionsAndCopyWorkOnSnapshotRows();
    void corruptFileFromTheMenuIsAnErrorAndTheWindowGoesOn();
    void classesViewGainsRetainedFromTheSnapshot();
    void comparingGivesGrowthPerClassAndRefusesAnotherProgram();
    void commandLineTakesAHeapDumpFile();

private:
    uint32_t at(uint64_t address) const { return snapshot_->index().objectAt(address); }
    uint64_t shallow(uint64_t address) const { return snapshot_->index().graph.shallowSize(at(address)); }
    // The object at the top of the dominator tree that holds the map: the loader's class,
    // through its loader, its classes and LeakyCache's static.
    uint32_t topHolderOfMap() const
    {
        const DominatorTree& tree = snapshot_->analysis().tree;
        uint32_t o = at(dump_.map);
        while (tree.dominatorOf(o) != kVirtualRoot)
            o = tree.dominatorOf(o);
        return o;
    }

    QTemporaryDir dir_;
    QTemporaryDir settings_;
    LeakyDump dump_;
    QString file_;
    std::shared_ptr<const Snapshot> snapshot_;
};

void SnapshotViewsTest::initTestCase()
{
    QVERIFY(dir_.isValid());
    QVERIFY(settings_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
    dump_ = leakyDump("LeakyCache", kSessions);
    file_ = writeFile(dir_, QStringLiteral("leaky.hprof"),
                      QByteArray(reinterpret_cast<const char*>(dump_.bytes.data()), static_cast<qsizetype>(dump_.bytes.size())));
    QVERIFY(!file_.isEmpty());
    snapshot_ = openSnapshotFile(file_.toStdString());
    QVERIFY(snapshot_);
}

void SnapshotViewsTest::dominatorTreePagesChildrenLargestFirst()
{
    SnapshotTreeModel model(nullptr, 4);
    const auto tester = testerOf(&model);
    model.setSnapshot(snapshot_);
    model.showDominators();
    QVERIFY(model.rowCount() > 0);

    // At the top, what holds the map; below it, down the chain, the map with what it alone
    // keeps alive.
    QCOMPARE(model.objectAt(model.index(0, 0)), topHolderOfMap());
    const QModelIndex map = model.reveal(at(dump_.map));
    QVERIFY(map.isValid());
    uint64_t retained = shallow(dump_.map) + shallow(dump_.table);
    for (size_t i = 0; i < dump_.nodes.size(); ++i)
        retained += shallow(dump_.nodes[i]) + shallow(dump_.keys[i]) + shallow(dump_.keyBytes[i]) +
                    shallow(dump_.sessions[i]) + shallow(dump_.data[i]);
    const QModelIndex retainedCell = map.siblingAtColumn(SnapshotTreeModel::RetainedColumn);
    QCOMPARE(retainedCell.data(SnapshotTreeModel::CopyTextRole).toString(),
             QLocale(QLocale::English).toString(static_cast<qulonglong>(retained)));
    QVERIFY2(retainedCell.data().toString().endsWith(QStringLiteral("KiB")), qPrintable(retainedCell.data().toString()));
    QCOMPARE(map.siblingAtColumn(SnapshotTreeModel::TypeColumn).data().toString(), QStringLiteral("java.util.HashMap"));
    const double share = map.siblingAtColumn(SnapshotTreeModel::ShareColumn).data(SnapshotTreeModel::ShareRole).toDouble();
    QVERIFY(share > 0.5 && share <= 1.0);

    // The table under the map; under it the nodes, four at a time, then a "more" row.
    QVERIFY(model.canFetchMore(map));
    model.fetchMore(map);
    const QModelIndex table = model.find(at(dump_.table), map);
    QVERIFY(table.isValid());
    model.fetchMore(table);
    const uint64_t children = snapshot_->analysis().tree.childCount(at(dump_.table));
    QCOMPARE(children, uint64_t{kSessions - 1});
    QCOMPARE(model.rowCount(table), 5);
    QModelIndex more = model.index(4, 0, table);
    QVERIFY(more.data(SnapshotTreeModel::MoreRole).toBool());
    QVERIFY(!model.loadMore(model.index(0, 0, table)));  // an object row is no "more" row
    while (more.isValid() && more.data(SnapshotTreeModel::MoreRole).toBool()) {
        QVERIFY(model.loadMore(more));
        more = model.index(model.rowCount(table) - 1, 0, table);
    }
    QCOMPARE(model.rowCount(table), static_cast<int>(children));
    uint64_t before = UINT64_MAX;
    for (int row = 0; row < model.rowCount(table); ++row) {
        const QModelIndex cell = model.index(row, SnapshotTreeModel::RetainedColumn, table);
        const uint64_t bytes = cell.data(SnapshotTreeModel::CopyTextRole).toString().remove(',').toULongLong();
        QVERIFY2(bytes <= before, "children come largest retained first");
        before = bytes;
    }
}

void SnapshotViewsTest::classesOpenToTheirBiggestInstances()
{
    SnapshotTreeModel model(nullptr, 10);
    const auto tester = testerOf(&model);
    model.setSnapshot(snapshot_);
    model.showClasses();
    QCOMPARE(model.headerData(SnapshotTreeModel::TypeColumn, Qt::Horizontal).toString(), QStringLiteral("Objects"));
    QModelIndex session;
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.index(row, 0).data().toString() == QStringLiteral("LeakyCache$Session"))
            session = model.index(row, 0);
    QVERIFY(session.isValid());
    QCOMPARE(session.siblingAtColumn(SnapshotTreeModel::TypeColumn).data().toString(), QString::number(kSessions));
    QVERIFY(model.canFetchMore(session));
    model.fetchMore(session);
    QCOMPARE(model.rowCount(session), 11);  // a page of ten, then "more"
    // The session with the largest data comes first: the last one (the data grow with i).
    QCOMPARE(model.objectAt(model.index(0, 0, session)), at(dump_.sessions.back()));
    for (int row = 0; row < 10; ++row)
        QCOMPARE(model.index(row, SnapshotTreeModel::TypeColumn, session).data().toString(),
                 QStringLiteral("LeakyCache$Session"));
}

void SnapshotViewsTest::suspectsSayWhoHoldsTheMapWithPathAndAccumulationPoint()
{
    SnapshotTreeModel model;
    const auto tester = testerOf(&model);
    model.setSnapshot(snapshot_);
    model.showSuspects();
    QVERIFY(model.rowCount() >= 1);
    const QModelIndex suspect = model.index(0, 0);
    QVERIFY(suspect.data(SnapshotTreeModel::SentenceRole).toBool());
    const QString sentence = suspect.data().toString();
    QVERIFY2(sentence.startsWith(QStringLiteral("one java.util.HashMap held by LeakyCache.SESSIONS retains")),
             qPrintable(sentence));
    QCOMPARE(model.rowCount(suspect), 3);
    QCOMPARE(model.objectAt(model.index(0, 0, suspect)), at(dump_.map));
    const QModelIndex accumulation = model.index(1, 0, suspect);
    QCOMPARE(model.objectAt(accumulation), at(dump_.table));
    QVERIFY(accumulation.data().toString().startsWith(QStringLiteral("accumulation point: ")));
    const QModelIndex path = model.index(2, 0, suspect);
    QVERIFY(model.rowCount(path) >= 2);
    QVERIFY(path.data().toString().startsWith(QStringLiteral("path from a GC root")));
    QVERIFY(model.index(0, 0, path).data().toString().contains(QStringLiteral("AppClassLoader")));
    const QModelIndex last = model.index(model.rowCount(path) - 1, 0, path);
    QCOMPARE(model.objectAt(last), at(dump_.map));
    QVERIFY(last.data().toString().startsWith(QStringLiteral("static SESSIONS → ")));

    // A threshold nothing reaches says so instead of an empty list.
    model.showSuspects(0.999);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.objectAt(model.index(0, 0)), UINT32_MAX);
    QVERIFY(model.index(0, 0).data().toString().startsWith(QStringLiteral("no object retains")));
}

void SnapshotViewsTest::revealOpensTheTreeDownToADeepObject()
{
    SnapshotTreeModel model(nullptr, 2);
    const auto tester = testerOf(&model);
    model.setSnapshot(snapshot_);
    model.showDominators();
    // The first session has the smallest data: far down its group's pages.
    const uint32_t session = at(dump_.sessions.front());
    const QModelIndex row = model.reveal(session);
    QVERIFY(row.isValid());
    QCOMPARE(model.objectAt(row), session);
    int depth = 0;
    for (QModelIndex up = row.parent(); up.isValid(); up = up.parent())
        ++depth;
    QVERIFY2(depth >= 2, "the session sits below the map and its table");
    // Garbage no root reaches has no place in the tree.
    QVERIFY(!model.reveal(at(dump_.garbage)).isValid());
}

void SnapshotViewsTest::pathAndReferrersComeFromTheSnapshot()
{
    SnapshotTreeModel model;
    const auto tester = testerOf(&model);
    model.setSnapshot(snapshot_);
    const uint32_t session = at(dump_.sessions[3]);
    model.showPath(session);
    QVERIFY(model.rowCount() >= 3);
    QVERIFY(model.index(0, 0).data().toString().startsWith(QStringLiteral("GC root: ")));
    QCOMPARE(model.objectAt(model.index(model.rowCount() - 1, 0)), session);

    model.showReferrers(session);
    bool byNode = false;
    for (int row = 0; row < model.rowCount(); ++row)
        byNode = byNode || (model.objectAt(model.index(row, 0)) == at(dump_.nodes[3]) &&
                            model.index(row, 0).data().toString().startsWith(QStringLiteral("holds it by value")));
    QVERIFY2(byNode, "its map node holds it by its value field");

    model.showReferrers(at(dump_.garbage));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("nothing refers to it"));
}

void SnapshotViewsTest::dumpFileOpensWithoutAnAgentAndLiveViewsSayWhy()
{
    ExplorerWindow window(file_, FakeAgent::unusedPort());
    QSignalSpy shown(&window, &ExplorerWindow::snapshotShown);
    window.show();
    QVERIFY(shown.wait(20000));
    QCOMPARE(window.tabs()->currentWidget(), static_cast<QWidget*>(window.memoryPage()));
    const int objectsTab = window.tabs()->indexOf(reinterpret_cast<QWidget*>(window.objectsPage()));
    QVERIFY(!window.tabs()->isTabEnabled(objectsTab));
    QVERIFY(window.tabs()->tabToolTip(objectsTab).contains(QStringLiteral("No Java program is connected")));
    QVERIFY(!window.actions().refresh->isEnabled());
    // Without a program there is nothing to capture, and the action says so.
    QVERIFY(!window.actions().takeSnapshot->isEnabled());
    QVERIFY2(window.actions().takeSnapshot->toolTip().startsWith(QStringLiteral("Take a snapshot: ")),
             qPrintable(window.actions().takeSnapshot->toolTip()));
    QVERIFY(!window.requestStatus()->showingFailure());  // no agent was asked

    SnapshotTreeView* tree = window.memoryPage()->dominatorView();
    QCOMPARE(tree->snapshotModel()->objectAt(tree->model()->index(0, 0)), topHolderOfMap());
    QVERIFY(window.memoryPage()->summaryLine()->text().startsWith(QStringLiteral("leaky.hprof: ")));
    // The suspects' first row tells of the map; their rows open their object in the tree.
    SnapshotTreeView* suspects = window.memoryPage()->suspectsView();
    QCOMPARE(suspects->model()->rowCount(), 0);  // filled when first shown
    window.memoryPage()->memoryTabs()->setCurrentWidget(suspects);
    QVERIFY(suspects->model()->index(0, 0).data().toString().contains(QStringLiteral("LeakyCache.SESSIONS")));
    QVERIFY(window.memoryPage()->revealInTree(at(dump_.table)));
    QCOMPARE(window.memoryPage()->memoryTabs()->currentWidget(), static_cast<QWidget*>(tree));
    QCOMPARE(tree->snapshotModel()->objectAt(tree->currentIndex()), at(dump_.table));
}

void SnapshotViewsTest::objectActionsAndCopyWorkOnSnapshotRows()
{
    ExplorerWindow window(file_, FakeAgent::unusedPort());
    QSignalSpy shown(&window, &ExplorerWindow::snapshotShown);
    window.show();
    QVERIFY(shown.wait(20000));
    MemoryPage* memory = window.memoryPage();
    const uint32_t session = at(dump_.sessions[5]);
    QVERIFY(memory->revealInTree(session));
    QVERIFY(window.actions().path->isEnabled());
    QVERIFY(window.actions().referrers->isEnabled());
    QVERIFY(!window.actions().showInObjects->isEnabled());
    // Open live needs a running program: it says so on a snapshot row.
    QVERIFY(!window.actions().openLive->isEnabled());
    QVERIFY2(window.actions().openLive->toolTip().startsWith(QStringLiteral("Open live: ")),
             qPrintable(window.actions().openLive->toolTip()));

    window.actions().path->trigger();
    SnapshotTreeModel* answer = memory->answerView()->snapshotModel();
    QCOMPARE(answer->mode(), SnapshotTreeModel::Mode::path);
    QCOMPARE(answer->objectAt(answer->index(answer->rowCount() - 1, 0)), session);
    QVERIFY(memory->answerTitle()->text().startsWith(QStringLiteral("Path to GC root of s")));

    window.actions().referrers->trigger();
    QCOMPARE(answer->mode(), SnapshotTreeModel::Mode::referrers);
    QVERIFY(answer->rowCount() > 0);

    // The details pane reads the object from the snapshot: its sizes at once, its fields
    // with their values once the dump has been read again.
    QVERIFY(window.details()->toPlainText().contains(QStringLiteral("LeakyCache$Session")));
    QVERIFY(window.details()->toPlainText().contains(QStringLiteral("retained")));
    QTRY_VERIFY_WITH_TIMEOUT(window.details()->toPlainText().contains(QStringLiteral("owner")), 10000);
    QVERIFY2(window.details()->toPlainText().contains(QStringLiteral("address 0x")), qPrintable(window.details()->toPlainText()));

    // A copied row gives exact bytes; the window shows them in KiB and the like.
    memory->dominatorView()->setFocus();
    window.actions().copyRow->trigger();
    const QStringList cells = QApplication::clipboard()->text().split('\t');
    QCOMPARE(cells.size(), 5);
    QCOMPARE(cells[1], QStringLiteral("LeakyCache$Session"));
    QCOMPARE(cells[2], QLocale(QLocale::English).toString(static_cast<qulonglong>(snapshot_->row(session).shallow)));
    QCOMPARE(cells[3], QLocale(QLocale::English).toString(static_cast<qulonglong>(snapshot_->row(session).retained)));
    window.actions().copyHandle->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(snapshot_->row(session).id));
}

void SnapshotViewsTest::corruptFileFromTheMenuIsAnErrorAndTheWindowGoesOn()
{
    ExplorerWindow window(file_, FakeAgent::unusedPort());
    QSignalSpy shown(&window, &ExplorerWindow::snapshotShown);
    QSignalSpy failed(&window, &ExplorerWindow::snapshotFailed);
    window.show();
    QVERIFY(shown.wait(20000));

    // The leaky dump cut in the middle of its heap records.
    const QByteArray whole(reinterpret_cast<const char*>(dump_.bytes.data()), static_cast<qsizetype>(dump_.bytes.size()));
    const QString corrupt = writeFile(dir_, QStringLiteral("cut.hprof"), whole.left(whole.size() * 2 / 3));
    QVERIFY(!corrupt.isEmpty());
    window.actions().openDump->trigger();
    QFileDialog* dialog = window.findChild<QFileDialog*>(QStringLiteral("openDumpDialog"));
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->isVisible());
    dialog->selectFile(corrupt);
    static_cast<QDialog*>(dialog)->accept();

    QVERIFY(failed.wait(20000));
    QVERIFY(window.requestStatus()->showingFailure());
    QVERIFY2(window.requestStatus()->message().contains(QStringLiteral("Cannot open cut.hprof")),
             qPrintable(window.requestStatus()->message()));
    // What was shown stays, and the window goes on answering.
    SnapshotTreeView* tree = window.memoryPage()->dominatorView();
    QCOMPARE(tree->snapshotModel()->objectAt(tree->model()->index(0, 0)), topHolderOfMap());
    QVERIFY(window.isVisible());
    window.openDumpFile(file_);
    QVERIFY(shown.wait(20000));

    // A file that is not there says so too.
    window.openDumpFile(dir_.filePath(QStringLiteral("none.hprof")));
    QVERIFY(failed.wait(20000));
}

void SnapshotViewsTest::classesViewGainsRetainedFromTheSnapshot()
{
    ExplorerWindow window(file_, FakeAgent::unusedPort());
    QSignalSpy shown(&window, &ExplorerWindow::snapshotShown);
    window.show();
    QVERIFY(shown.wait(20000));
    HistogramModel* histogram = window.classesPage()->histogramModel();
    QVERIFY(histogram->hasRetained());
    QCOMPARE(histogram->columnCount(), HistogramModel::ColumnCount + 1);
    Histogram live;
    live.bytes = 1000000;
    live.rows.push_back({"LeakyCache$Session", 40, 640});
    live.rows.push_back({"NotInTheSnapshot", 1, 16});
    window.classesPage()->setHistogram(live);
    const auto tester = testerOf(histogram);
    QCOMPARE(histogram->headerData(HistogramModel::RetainedColumn, Qt::Horizontal).toString(),
             QStringLiteral("Retained (snapshot)"));
    HistogramQuery query;
    query.match = "LeakyCache$Session";
    uint64_t expected = 0;
    for (const HistogramRow& row : snapshot_->histogram(query).rows)
        if (row.type == "LeakyCache$Session")
            expected = row.retained;
    QVERIFY(expected > 0);
    QCOMPARE(histogram->index(0, HistogramModel::RetainedColumn).data(HistogramModel::SortRole).toULongLong(),
             expected);
    QVERIFY(!histogram->index(1, HistogramModel::RetainedColumn).data().isValid());
}

void SnapshotViewsTest::comparingGivesGrowthPerClassAndRefusesAnotherProgram()
{
    const auto bytesOf = [](const LeakyDump& d) {
        return QByteArray(reinterpret_cast<const char*>(d.bytes.data()), static_cast<qsizetype>(d.bytes.size()));
    };
    const QString earlier = writeFile(dir_, QStringLiteral("earlier.hprof"), bytesOf(leakyDump("LeakyCache", 10)));
    const QString other = writeFile(dir_, QStringLiteral("other.hprof"), bytesOf(leakyDump("OtherService", 10)));
    QVERIFY(!earlier.isEmpty() && !other.isEmpty());

    ExplorerWindow window(file_, FakeAgent::unusedPort());
    QSignalSpy shown(&window, &ExplorerWindow::snapshotShown);
    QSignalSpy compared(&window, &ExplorerWindow::comparisonShown);
    window.show();
    QVERIFY(shown.wait(20000));
    QVERIFY(window.actions().compare->isEnabled());

    // Chosen from the menu, as a user would.
    window.actions().compare->trigger();
    QFileDialog* dialog = window.findChild<QFileDialog*>(QStringLiteral("earlierDumpDialog"));
    QVERIFY(dialog);
    dialog->selectFile(earlier);
    static_cast<QDialog*>(dialog)->accept();
    QVERIFY(compared.wait(20000));
    CompareModel* model = window.memoryPage()->compareModel();
    const auto tester = testerOf(model);
    QVERIFY(model->reply().comparable);
    QVERIFY(model->rowCount() > 0);
    QCOMPARE(window.memoryPage()->memoryTabs()->currentWidget()->isAncestorOf(window.memoryPage()->compareView()), true);
    int session = -1;
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->index(row, CompareModel::ClassColumn).data().toString() == QStringLiteral("LeakyCache$Session"))
            session = row;
    QVERIFY(session >= 0);
    QCOMPARE(model->index(session, CompareModel::ObjectsColumn).data().toString(), QStringLiteral("+20"));
    QVERIFY(model->index(session, CompareModel::RetainedColumn).data().toString().startsWith('+'));
    // Largest retained growth first.
    for (int row = 1; row < model->rowCount(); ++row)
        QVERIFY(model->reply().rows[static_cast<size_t>(row - 1)].retained >= model->reply().rows[static_cast<size_t>(row)].retained);
    const QString exact = model->index(session, CompareModel::RetainedColumn).data(SnapshotTreeModel::CopyTextRole).toString();
    QCOMPARE(exact, QStringLiteral("+") + QLocale(QLocale::English).toString(
                                              static_cast<qlonglong>(model->reply().rows[static_cast<size_t>(session)].retained)));

    // Another program's snapshot is refused, with the reason.
    window.compareWithFile(other);
    QVERIFY(compared.wait(20000));
    QVERIFY(!model->reply().comparable);
    QCOMPARE(model->rowCount(), 0);
    QVERIFY2(window.memoryPage()->compareTitle()->text().contains(QStringLiteral("cannot be compared")),
             qPrintable(window.memoryPage()->compareTitle()->text()));
    QVERIFY(window.requestStatus()->showingFailure());
}

void SnapshotViewsTest::commandLineTakesAHeapDumpFile()
{
    ExplorerOptions options;
    std::string error;
    QVERIFY(wantsExplorer({"hprof=app.hprof"}));
    QVERIFY(parseExplorerOptions({"explore", "hprof=app.hprof"}, options, error));
    QCOMPARE(options.hprof, std::string("app.hprof"));
    QVERIFY(!options.portGiven);
    ExplorerOptions both;
    QVERIFY(parseExplorerOptions({"explore", "hprof=a.hprof", "port=7000"}, both, error));
    QVERIFY(both.portGiven);
    QCOMPARE(both.port, 7000);
    ExplorerOptions twice;
    QVERIFY(!parseExplorerOptions({"explore", "hprof=a", "hprof=b"}, twice, error));
    QCOMPARE(error, std::string("more than one heap dump file"));
    ExplorerOptions empty;
    QVERIFY(!parseExplorerOptions({"explore", "hprof="}, empty, error));
}

QTEST_MAIN(SnapshotViewsTest)
#include "snapshot_views_test.moc"
