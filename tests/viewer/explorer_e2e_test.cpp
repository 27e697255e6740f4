// The explorer against a real JVM running the agent and a target with known objects:
// the histogram's top rows, an object's fields and values, referrers and the path of a
// known object, a page of a large array, and the agent going away under the window.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

#include "agent_jvm.h"
#include "attach_dialog.h"
#include "classes_page.h"
#include "explorer_actions.h"
#include "connection_bar.h"
#include "details_pane.h"
#include "explorer_options.h"
#include "explorer_window.h"
#include "fake_agent.h"
#include "heap_tree_model.h"
#include "histogram_model.h"
#include "instance_list_model.h"
#include "local_jvms_model.h"
#include "request_status.h"
#include "root_survey.h"

namespace {

constexpr int kWaitMs = 60000;
constexpr int kBigArray = 200000;

using Fetch = HeapTreeItem::Fetch;

bool answered(HeapTreeModel* model, const QModelIndex& index)
{
    const Fetch fetch = model->itemAt(index)->fetch();
    return fetch == Fetch::done || fetch == Fetch::partial || fetch == Fetch::failed;
}

QModelIndex childNamed(HeapTreeModel* model, const QModelIndex& parent, const QString& name)
{
    for (int row = 0; row < model->rowCount(parent); ++row)
        if (model->index(row, 0, parent).data().toString() == name)
            return model->index(row, 0, parent);
    return {};
}

QString cell(const QModelIndex& index, int column)
{
    return index.siblingAtColumn(column).data().toString();
}

}  // namespace

class ExplorerEndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void histogramShowsTheLargestClassesFirst();
    void openedInstanceShowsItsFieldsAndValues();
    void referrersAndPathOfAKnownObject();
    void largeArrayArrivesInPages();
    void aMapReadsAsItsEntriesAndShowsItsFieldsOnRequest();
    void theAttachDialogListsAJvmItStartedAndConnectsToIt();
    void errorReplyIsShownOnItsRowAndInTheStatusBar();
    void listingTheRootsAfreshKeepsWhatTheOtherViewsShow();
    void agentGoingAwayShowsTheFailureAndReconnectingWorks();
    void aPidOpensTheExplorerOnThatProgram();

private:
    void startJvm();
    // Starts the target without the agent and waits until it is ready.
    void startWithoutAgent(QProcess& plain);
    // Lists the instances of the class through the search box, as a user would.
    void listInstances(const QString& className, int expected);
    // Opens instance row of the listed class in the Objects view, with Enter.
    QModelIndex openInstance(int row);

    QTemporaryDir settings_;
    std::unique_ptr<QProcess> jvm_;
    std::unique_ptr<ExplorerWindow> window_;
    int port_ = 0;
    QModelIndex sample_;
};

void ExplorerEndToEndTest::startJvm()
{
    jvm_ = std::make_unique<QProcess>();
    jvm_->setProgram(QStringLiteral(JDK_JAVA));
    jvm_->setArguments({QStringLiteral("-agentpath:" VORLAN_AGENT "=port=%1,kind=1,debug=0").arg(port_),
                        QStringLiteral("-cp"), QStringLiteral(EXPLORER_TARGET_CLASSES), QStringLiteral("ExplorerTarget"),
                        QStringLiteral("big"), QString::number(kBigArray)});
    jvm_->start();
    const QString notListening = waitForAgentListening(*jvm_);
    QVERIFY2(notListening.isEmpty(), qPrintable(notListening));
}

void ExplorerEndToEndTest::startWithoutAgent(QProcess& plain)
{
    plain.setProgram(QStringLiteral(JDK_JAVA));
    plain.setArguments({QStringLiteral("-cp"), QStringLiteral(EXPLORER_TARGET_CLASSES), QStringLiteral("ExplorerTarget")});
    plain.start();
    QVERIFY(plain.waitForStarted(20000));
    QByteArray out;
    while (!out.contains("ready")) {
        QVERIFY2(plain.waitForReadyRead(30000), out.constData());
        out += plain.readAllStandardOutput();
    }
}

void ExplorerEndToEndTest::initTestCase()
{
    QVERIFY(settings_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
    port_ = FakeAgent::unusedPort();
    startJvm();
    window_ = std::make_unique<ExplorerWindow>(port_);
    window_->show();
    QTRY_VERIFY_WITH_TIMEOUT(window_->connectionBar()->connected(), kWaitMs);
    QVERIFY2(window_->connectionBar()->stateText().contains(QStringLiteral("vorlanagt")),
             qPrintable(window_->connectionBar()->stateText()));
}

void ExplorerEndToEndTest::cleanupTestCase()
{
    window_.reset();
    killJvm(jvm_.get());
}

void ExplorerEndToEndTest::histogramShowsTheLargestClassesFirst()
{
    QSortFilterProxyModel* classes = window_->classesPage()->sortedClasses();
    QTRY_VERIFY_WITH_TIMEOUT(classes->rowCount() > 100, kWaitMs);
    // Two hundred thousand 16-byte elements outweigh everything the JVM holds by itself.
    QCOMPARE(classes->index(0, HistogramModel::ClassColumn).data().toString(), QStringLiteral("ExplorerElement"));
    QCOMPARE(classes->index(0, HistogramModel::InstancesColumn).data().toString(), QStringLiteral("200,000"));
    for (int row = 1; row < 20; ++row)
        QVERIFY(classes->index(row - 1, HistogramModel::BytesColumn).data(HistogramModel::SortRole).toLongLong() >=
                classes->index(row, HistogramModel::BytesColumn).data(HistogramModel::SortRole).toLongLong());
    QCOMPARE(classes->index(1, HistogramModel::ClassColumn).data().toString(), QStringLiteral("java.lang.Object[]"));

    // A click on a header sorts by that column.
    QTableView* table = window_->classesPage()->classTable();
    table->sortByColumn(HistogramModel::ClassColumn, Qt::AscendingOrder);
    QVERIFY(classes->index(0, 0).data().toString() <= classes->index(1, 0).data().toString());
    table->sortByColumn(HistogramModel::BytesColumn, Qt::DescendingOrder);
    QCOMPARE(classes->index(0, 0).data().toString(), QStringLiteral("ExplorerElement"));
}

void ExplorerEndToEndTest::listInstances(const QString& className, int expected)
{
    window_->searchBox()->setText(className);
    QCOMPARE(window_->tabs()->currentIndex(), 1);  // typing a class name shows the Classes view
    QTest::keyClick(window_->searchBox(), Qt::Key_Return);
    InstanceListModel* instances = window_->classesPage()->instanceModel();
    QTRY_COMPARE_WITH_TIMEOUT(instances->rowCount(), expected, kWaitMs);
    QCOMPARE(instances->total(), expected);
    QCOMPARE(instances->className(), className.toStdString());  // the exact name, not ExplorerSample[]
}

QModelIndex ExplorerEndToEndTest::openInstance(int row)
{
    QTableView* table = window_->classesPage()->instanceTable();
    table->setCurrentIndex(table->model()->index(row, 0));
    QTest::keyClick(table, Qt::Key_Return);
    if (window_->tabs()->currentIndex() != 0)
        return {};
    const QModelIndex opened = window_->objectsView()->currentIndex();
    HeapTreeModel* model = window_->objectsModel();
    if (!QTest::qWaitFor([&] { return answered(model, opened); }, kWaitMs))
        return {};
    return opened;
}

void ExplorerEndToEndTest::openedInstanceShowsItsFieldsAndValues()
{
    listInstances(QStringLiteral("ExplorerSample"), 2);
    HeapTreeModel* model = window_->objectsModel();
    for (int row = 0; row < 2 && !sample_.isValid(); ++row) {
        const QModelIndex opened = openInstance(row);
        QVERIFY(opened.isValid());
        QCOMPARE(opened.parent().data().toString(), QStringLiteral("Opened objects"));
        if (cell(childNamed(model, opened, QStringLiteral("label")), HeapTreeModel::ValueColumn) ==
            QStringLiteral("\"explorer-sample\""))
            sample_ = opened;
    }
    QVERIFY(sample_.isValid());
    QStringList names;
    for (int row = 0; row < model->rowCount(sample_); ++row)
        names << model->index(row, 0, sample_).data().toString();
    QCOMPARE(names, (QStringList{"<class>", "label", "count", "ratio", "initial", "numbers", "peer"}));
    const auto value = [&](const char* name) {
        return cell(childNamed(model, sample_, QString::fromLatin1(name)), HeapTreeModel::ValueColumn);
    };
    QCOMPARE(value("count"), QStringLiteral("42"));
    QCOMPARE(value("ratio"), QStringLiteral("2.5"));
    QCOMPARE(value("initial"), QStringLiteral("Z"));
    QCOMPARE(value("numbers"), QStringLiteral("[3]"));
    QCOMPARE(cell(childNamed(model, sample_, QStringLiteral("numbers")), HeapTreeModel::TypeColumn), QStringLiteral("int[]"));
    QCOMPARE(cell(childNamed(model, sample_, QStringLiteral("peer")), HeapTreeModel::TypeColumn),
             QStringLiteral("ExplorerSample"));
    QCOMPARE(cell(sample_, HeapTreeModel::TypeColumn), QStringLiteral("ExplorerSample"));
    QVERIFY(cell(sample_, HeapTreeModel::SizeColumn).toInt() > 0);

    // Opening the int[] lists its elements; the details pane shows the whole object.
    const QModelIndex numbers = childNamed(model, sample_, QStringLiteral("numbers"));
    window_->objectsView()->expand(numbers);
    QTRY_VERIFY_WITH_TIMEOUT(answered(model, numbers), kWaitMs);
    QCOMPARE(cell(model->index(3, 0, numbers), HeapTreeModel::ValueColumn), QStringLiteral("9"));
    window_->objectsView()->setCurrentIndex(sample_);
    QTRY_VERIFY_WITH_TIMEOUT(window_->details()->toPlainText().contains(QStringLiteral("explorer-sample")), kWaitMs);
    QVERIFY(window_->details()->toPlainText().contains(QStringLiteral("2.5")));
}

void ExplorerEndToEndTest::referrersAndPathOfAKnownObject()
{
    QVERIFY(sample_.isValid());
    const QString handle = sample_.data(HandleRole).toString();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    window_->objectsView()->setFocus();
    HeapTreeModel* objects = window_->objectsModel();
    window_->objectsView()->setCurrentIndex(childNamed(objects, sample_, QStringLiteral("count")));
    QTest::keyClick(window_->objectsView(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("count\tint\t42"));
    window_->objectsView()->setCurrentIndex(sample_);
    QTest::keyClick(window_->objectsView(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), handle);
    QTest::keyClick(window_->objectsView(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(window_->searchBox()->hasFocus());
    window_->objectsView()->setFocus();

    QTest::keyClick(window_->objectsView(), Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(window_->tabs()->currentIndex(), 2);
    HeapTreeModel* refs = window_->referrersModel();
    const QModelIndex target = refs->index(0, 0);
    QCOMPARE(target.data(HandleRole).toString(), handle);
    QTRY_VERIFY_WITH_TIMEOUT(answered(refs, target), kWaitMs);
    // Its class's static field, the other sample's field and the pair's first element.
    const QModelIndex statik = childNamed(refs, target, QStringLiteral("SAMPLE"));
    QVERIFY(statik.isValid());
    QCOMPARE(cell(statik, HeapTreeModel::ValueColumn), QStringLiteral("class ExplorerTarget"));
    QCOMPARE(cell(childNamed(refs, target, QStringLiteral("peer")), HeapTreeModel::TypeColumn),
             QStringLiteral("ExplorerSample"));
    QCOMPARE(cell(childNamed(refs, target, QStringLiteral("[0]")), HeapTreeModel::TypeColumn),
             QStringLiteral("ExplorerSample[]"));
    QCOMPARE(refs->rowCount(target), 3);
    // A referrer opens to its own referrers: the other sample is held by this one.
    const QModelIndex peer = childNamed(refs, target, QStringLiteral("peer"));
    window_->referrersView()->expand(peer);
    QTRY_VERIFY_WITH_TIMEOUT(answered(refs, peer), kWaitMs);
    QCOMPARE(childNamed(refs, peer, QStringLiteral("peer")).data(HandleRole).toString(), handle);

    window_->referrersView()->setCurrentIndex(target);
    QTest::keyClick(window_->referrersView(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(window_->tabs()->currentIndex(), 3);
    HeapTreeModel* path = window_->pathModel();
    QTRY_VERIFY_WITH_TIMEOUT(path->rowCount() >= 3, kWaitMs);
    // A flat chain, root first: every step a row of its own, none under another.
    for (int row = 0; row < path->rowCount(); ++row)
        QCOMPARE(path->rowCount(path->index(row, 0)), 0);
    QVERIFY(!window_->pathView()->rootIsDecorated());
    // The first row is held by the GC root, named as people name it: never a handle.
    QVERIFY(!path->index(0, 0).data().toString().startsWith('@'));
    // The last step is the sample, held by the static field of the class before it.
    const QModelIndex last = path->index(path->rowCount() - 1, 0);
    QCOMPARE(last.data(HandleRole).toString(), handle);
    QCOMPARE(last.data().toString(), QStringLiteral("static SAMPLE"));
    QCOMPARE(cell(path->index(last.row() - 1, 0), HeapTreeModel::ValueColumn), QStringLiteral("class ExplorerTarget"));
    QCOMPARE(window_->pathView()->currentIndex().siblingAtColumn(0), last);
}

void ExplorerEndToEndTest::largeArrayArrivesInPages()
{
    listInstances(QStringLiteral("ExplorerBigHolder"), 1);
    const QModelIndex holder = openInstance(0);
    QVERIFY(holder.isValid());
    HeapTreeModel* model = window_->objectsModel();
    const QModelIndex elements = childNamed(model, holder, QStringLiteral("elements"));
    QCOMPARE(cell(elements, HeapTreeModel::ValueColumn), QStringLiteral("[200000]"));
    window_->objectsView()->setCurrentIndex(elements);
    QTest::keyClick(window_->objectsView(), Qt::Key_Return);  // Enter opens a row
    QTRY_VERIFY_WITH_TIMEOUT(answered(model, elements), kWaitMs);
    QCOMPARE(model->rowCount(elements), 1 + 1000 + 1);
    QCOMPARE(cell(model->index(1000, 0, elements), HeapTreeModel::TypeColumn), QStringLiteral("ExplorerElement"));
    const QModelIndex more = model->index(1001, 0, elements);
    QCOMPARE(more.data().toString(), QStringLiteral("1,000 of 200,000 — more"));

    window_->objectsView()->setCurrentIndex(more);
    QTest::keyClick(window_->objectsView(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(elements), 1 + 11000 + 1, kWaitMs);
    QCOMPARE(model->index(11000, 0, elements).data().toString(), QStringLiteral("[10999]"));
    // Element 10999 is the ExplorerElement with index 10999.
    const QModelIndex element = model->index(11000, 0, elements);
    window_->objectsView()->expand(element);
    QTRY_VERIFY_WITH_TIMEOUT(answered(model, element), kWaitMs);
    QCOMPARE(cell(childNamed(model, element, QStringLiteral("index")), HeapTreeModel::ValueColumn),
             QStringLiteral("10999"));
}

void ExplorerEndToEndTest::aMapReadsAsItsEntriesAndShowsItsFieldsOnRequest()
{
    listInstances(QStringLiteral("ExplorerSessions"), 1);
    const QModelIndex sessions = openInstance(0);
    QVERIFY(sessions.isValid());
    HeapTreeModel* model = window_->objectsModel();
    QPersistentModelIndex attributes = childNamed(model, sessions, QStringLiteral("attributes"));
    QVERIFY(attributes.isValid());
    window_->objectsView()->expand(attributes);
    QTRY_VERIFY_WITH_TIMEOUT(answered(model, attributes), kWaitMs);
    QCOMPARE(cell(attributes, HeapTreeModel::ValueColumn), QStringLiteral("size 3, capacity 16"));
    QStringList entries;
    for (int row = 0; row < model->rowCount(attributes); ++row)
        entries << model->index(row, 0, attributes).data().toString();
    entries.sort();
    QCOMPARE(entries, (QStringList{QStringLiteral("\"user1\" → \"value-1\""), QStringLiteral("\"user2\" → \"value-2\""),
                                   QStringLiteral("\"user3\" → \"value-3\"")}));
    // An entry opens to its key and its value, each a String object of its own.
    const QModelIndex entry = model->index(0, 0, attributes);
    QCOMPARE(model->rowCount(entry), 2);
    const QModelIndex key = childNamed(model, entry, QStringLiteral("key"));
    const QModelIndex value = childNamed(model, entry, QStringLiteral("value"));
    QCOMPARE(cell(key, HeapTreeModel::TypeColumn), QStringLiteral("java.lang.String"));
    QCOMPARE(cell(value, HeapTreeModel::TypeColumn), QStringLiteral("java.lang.String"));
    QVERIFY(!key.data(HandleRole).toString().isEmpty());
    QVERIFY(key.data(HandleRole) != value.data(HandleRole));

    // Show internals gives back the map's own fields, and taking it back its entries.
    window_->objectsView()->setCurrentIndex(attributes);
    QAction* internals = window_->actions().internals;
    QVERIFY(internals->isEnabled());
    internals->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(childNamed(model, attributes, QStringLiteral("table")).isValid(), kWaitMs);
    QCOMPARE(cell(childNamed(model, attributes, QStringLiteral("table")), HeapTreeModel::TypeColumn),
             QStringLiteral("java.util.concurrent.ConcurrentHashMap$Node[]"));
    internals->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(model->rowCount(attributes) == 3 &&
                                 model->index(0, 0, attributes).data().toString().contains(QStringLiteral(" → ")),
                             kWaitMs);
}

// File → Attach to a Java process…: a program started without the agent is listed by its
// pid and main class; attaching loads the agent there and the window connects to it.
void ExplorerEndToEndTest::theAttachDialogListsAJvmItStartedAndConnectsToIt()
{
    QProcess plain;
    startWithoutAgent(plain);
    if (QTest::currentTestFailed())
        return;
    const long pid = plain.processId();
    qputenv("VORLAN_AGENT", VORLAN_AGENT);  // the test program has no agent beside it

    AttachDialog* dialog = window_->openAttachDialog();
    QVERIFY(dialog);
    LocalJvmsModel* jvms = dialog->model();
    QTRY_VERIFY_WITH_TIMEOUT(jvms->rowOf(pid) >= 0, kWaitMs);
    const int row = jvms->rowOf(pid);
    QCOMPARE(jvms->index(row, LocalJvmsModel::PidColumn).data().toString(), QString::number(pid));
    QCOMPARE(jvms->index(row, LocalJvmsModel::MainColumn).data().toString(), QStringLiteral("ExplorerTarget"));
    QVERIFY(jvms->index(row, LocalJvmsModel::VersionColumn).data().toString().contains(QStringLiteral("17")) ||
            jvms->index(row, LocalJvmsModel::VersionColumn).data().toString().contains(QStringLiteral("25")));
    QVERIFY(jvms->attachable(row));
    // The program the window is connected to already has its agent, and says on which port.
    const int own = jvms->rowOf(jvm_->processId());
    QVERIFY(own >= 0);
    QVERIFY2(jvms->index(own, LocalJvmsModel::AgentColumn).data().toString().contains(QString::number(port_)),
             qPrintable(jvms->index(own, LocalJvmsModel::AgentColumn).data().toString()));

    QSignalSpy attached(dialog, &AttachDialog::attached);
    dialog->attachTo(pid);
    QTRY_COMPARE_WITH_TIMEOUT(attached.count(), 1, kWaitMs);
    const int port = attached.at(0).at(0).toInt();
    QVERIFY(port > 0 && port != port_);
    QTRY_VERIFY_WITH_TIMEOUT(window_->connectionBar()->connected(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(window_->connectionBar()->stateText().contains(QStringLiteral("pid %1").arg(pid)), kWaitMs);

    // Back to the first program, for the tests after this one.
    plain.terminate();
    QVERIFY(plain.waitForFinished(30000));
    QSignalSpy histogram(window_.get(), &ExplorerWindow::histogramShown);
    window_->connectTo(port_);
    QTRY_VERIFY_WITH_TIMEOUT(window_->connectionBar()->connected(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(histogram.count() > 0 && !window_->rootSurvey()->running(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(window_->connectionBar()->stateText().contains(QStringLiteral("pid %1").arg(jvm_->processId())),
                             kWaitMs);
}

void ExplorerEndToEndTest::errorReplyIsShownOnItsRowAndInTheStatusBar()
{
    window_->showInObjects({"3ffffff0", "java.lang.Object", -1, ""});
    HeapTreeModel* model = window_->objectsModel();
    const QModelIndex row = window_->objectsView()->currentIndex();
    QTRY_VERIFY_WITH_TIMEOUT(answered(model, row), kWaitMs);
    QCOMPARE(model->index(0, 0, row).data().toString(),
             QStringLiteral("could not read it: no live object has the handle 3ffffff0"));
    QVERIFY(window_->requestStatus()->showingFailure());
    QVERIFY(window_->requestStatus()->message().endsWith(QStringLiteral("no live object has the handle 3ffffff0")));
    QVERIFY(window_->connectionBar()->connected());  // an error reply is no lost connection
}

void ExplorerEndToEndTest::listingTheRootsAfreshKeepsWhatTheOtherViewsShow()
{
    HeapTreeModel* model = window_->objectsModel();
    QVERIFY(childNamed(model, {}, QStringLiteral("Opened objects")).isValid());
    QTRY_VERIFY_WITH_TIMEOUT(childNamed(model, {}, QStringLiteral("GC roots: JNI global")).isValid(), kWaitMs);
    const int instances = window_->classesPage()->instanceModel()->rowCount();
    window_->tabs()->setCurrentIndex(0);
    window_->objectsView()->setCurrentIndex(childNamed(model, {}, QStringLiteral("GC roots: JNI global")));
    QTest::keyClick(window_->objectsView(), Qt::Key_F5);
    QTRY_VERIFY_WITH_TIMEOUT(!window_->rootSurvey()->running(), kWaitMs);
    QVERIFY(childNamed(model, {}, QStringLiteral("GC roots: JNI global")).isValid());
    // The root listing makes the agent forget nothing: what was shown is still known.
    QVERIFY(childNamed(model, {}, QStringLiteral("Opened objects")).isValid());
    QCOMPARE(window_->classesPage()->instanceModel()->rowCount(), instances);
    listInstances(QStringLiteral("ExplorerSample"), 2);
    const QModelIndex opened = openInstance(0);
    QVERIFY(opened.isValid());
    QCOMPARE(model->itemAt(opened)->fetch(), Fetch::done);
}

void ExplorerEndToEndTest::agentGoingAwayShowsTheFailureAndReconnectingWorks()
{
    jvm_->kill();
    QVERIFY(jvm_->waitForFinished(20000));
    const int objectRows = window_->objectsModel()->rowCount();

    window_->tabs()->setCurrentIndex(1);
    window_->refreshHistogram();
    QTRY_VERIFY_WITH_TIMEOUT(window_->requestStatus()->message().startsWith(QStringLiteral("counting the heap")), kWaitMs);
    QVERIFY(window_->requestStatus()->showingFailure());
    QVERIFY2(window_->requestStatus()->message().contains(QStringLiteral("the agent")),
             qPrintable(window_->requestStatus()->message()));
    QTRY_VERIFY_WITH_TIMEOUT(!window_->connectionBar()->connected(), kWaitMs);
    QVERIFY(window_->connectionBar()->stateText().contains(QStringLiteral("not connected")));
    // The window goes on: what it showed is still there, and it still answers.
    QCOMPARE(window_->objectsModel()->rowCount(), objectRows);
    QVERIFY(window_->isVisible());
    QTest::qWait(50);

    startJvm();
    window_->connectionBar()->findChild<QPushButton*>(QStringLiteral("connect"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(window_->connectionBar()->connected(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(window_->classesPage()->sortedClasses()->rowCount() > 0, kWaitMs);
    window_->searchBox()->clear();
    QCOMPARE(window_->classesPage()->sortedClasses()->index(0, 0).data().toString(), QStringLiteral("ExplorerElement"));
    QTRY_VERIFY_WITH_TIMEOUT(!window_->requestStatus()->showingFailure(), kWaitMs);
}

// Vorlan PID: a program started without the agent gets it loaded on a port the system
// picks, and the explorer connects there.
void ExplorerEndToEndTest::aPidOpensTheExplorerOnThatProgram()
{
    QProcess plain;
    startWithoutAgent(plain);
    if (QTest::currentTestFailed())
        return;
    const QString pid = QString::number(plain.processId());
    ExplorerOptions options;
    std::string error;
    QVERIFY(wantsExplorer({pid.toStdString()}));
    QVERIFY(parseExplorerOptions({pid.toStdString()}, options, error));
    qputenv("VORLAN_AGENT", VORLAN_AGENT);  // the test program has no agent beside it
    QVERIFY2(resolveExplorerPort(options, error), error.c_str());
    QVERIFY(options.port != port_);
    ExplorerWindow byPid(options.port);
    byPid.show();
    QTRY_VERIFY_WITH_TIMEOUT(byPid.connectionBar()->connected(), kWaitMs);
    QVERIFY2(byPid.connectionBar()->stateText().contains(QStringLiteral("pid ") + pid),
             qPrintable(byPid.connectionBar()->stateText()));

    // Found again by its port file: the same port, no second load.
    ExplorerOptions again;
    QVERIFY(parseExplorerOptions({"explore", "pid=" + pid.toStdString()}, again, error));
    QVERIFY2(resolveExplorerPort(again, error), error.c_str());
    QCOMPARE(again.port, options.port);
    plain.terminate();
    QVERIFY(plain.waitForFinished(30000));
}

QTEST_MAIN(ExplorerEndToEndTest)
#include "explorer_e2e_test.moc"

