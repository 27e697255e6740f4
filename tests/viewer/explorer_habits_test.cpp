// The explorer's window habits, offscreen, against a scripted agent holding a small heap
// of a servlet container's sessions: selection and the Object menu across tabs, the
// status bar keeping a request's time, handles as links and in the search, Back and
// Forward, closing opened objects, sorting and matching class names, shadowed fields,
// shortened type names, referrers already above, previews, and connecting again.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <map>
#include <memory>

#include "classes_page.h"
#include "connection_bar.h"
#include "details_pane.h"
#include "details_text.h"
#include "explorer_actions.h"
#include "explorer_window.h"
#include "heap_tree_model.h"
#include "histogram_model.h"
#include "instance_list_model.h"
#include "objects_page.h"
#include "request_status.h"
#include "scripted_agent.h"
#include "type_name_delegate.h"

namespace {

constexpr int kWaitMs = 10000;

using Fields = std::vector<std::string>;

const std::string kSession = "org.apache.catalina.session.StandardSession";
const std::string kManager = "org.apache.catalina.session.StandardManager";
const std::string kFacade = "org.apache.catalina.session.StandardSessionFacade";

struct Obj {
    std::string type;
    long long size = 24;
    std::string preview;
    std::vector<Fields> slots;  // HOW NAME DECLARED DECLTYPE VALUE H
};

// The heap the agent holds, and its answers to the explorer's requests.
class Heap {
public:
    explicit Heap(long long pid) : pid_(pid)
    {
        objects_["1"] = {kSession, 64, "", {{"field", "keySet", "java.util.AbstractMap", "java.util.Set", "null", ""},
                                            {"field", "id", kSession, "java.lang.String", "", "2"},
                                            {"field", "manager", kSession, kManager, "", "4"},
                                            {"field", "note", kSession, "java.lang.Object", "", "5"},
                                            {"field", "keySet", kSession, "java.util.Set", "null", ""},
                                            {"field", "maxInactiveInterval", kSession, "int", "1800", ""}}};
        objects_["2"] = {"java.lang.String", 24, "\"session-7\"", {}};
        objects_["4"] = {kManager, 48, "", {{"field", "current", kManager, kSession, "", "1"}}};
        objects_["5"] = {"java.lang.String", 24, "\"value-7\"", {}};
        objects_["6"] = {"java.lang.Integer", 16, "42", {{"field", "value", "java.lang.Integer", "int", "42", ""}}};
        objects_["10"] = {"java.lang.Thread", 120, "", {}};
    }

    std::string answer(const Fields& request)
    {
        const std::string& name = request[0];
        const std::string arg = request.size() > 1 ? request[1] : std::string();
        if (name == "hello")
            return "ok\thello\n" + ScriptedAgent::record({"agent", "vorlanagt", "9.9"}) +
                   ScriptedAgent::record({"jvm", "Scripted VM", "21"}) +
                   ScriptedAgent::record({"pid", std::to_string(pid_)});
        if (name == "roots")
            return "ok\troots\ttotal=3\twalk_ms=0.5\n" + root("thread", "main", "", "10") +
                   root("stack-local", "worker", "Container.handle", "1") + root("jni-global", "", "", "6");
        if (name == "histo")
            return "ok\thisto\twalk_ms=2.0\tclasses=7\tinstances=1116\tbytes=37320\n" + histoRow(kSession, 50, 3200) +
                   histoRow(kManager, 1, 48) + histoRow(kFacade, 50, 800) + histoRow("apple.Zeta", 3, 96) +
                   histoRow("Banana", 2, 9000) + histoRow("java.lang.String", 1000, 24000) +
                   histoRow("cherry.Box", 10, 176);
        if (name == "object") {
            const auto found = objects_.find(arg);
            if (found == objects_.end())
                return "error\tobject\tnot-found\tno live object has the handle " + arg + "\n";
            return "ok\tobject\n" + objectRecords(arg);
        }
        if (name == "instances")
            return instances(arg, option(request, "contains="));
        if (name == "referrers") {
            std::string body = "ok\treferrers\ttotal=1\twalk_ms=0.3\n";
            if (arg == "1")  // the session is held by its manager...
                body += referrer("field", "current", kManager, "4");
            else if (arg == "4")  // ...which the session holds in turn
                body += referrer("field", "manager", kSession, "1");
            else if (arg == "5")
                body += referrer("field", "note", kSession, "1");
            return body;
        }
        if (name == "path")
            return "ok\tpath\tfound=strong\tlength=2\twalk_ms=1\n" +
                   ScriptedAgent::record({"root", "stack-local", "worker", "Container.handle"}) +
                   ScriptedAgent::record({"step", "root", "", "", "1", kSession, "64", ""}) +
                   ScriptedAgent::record({"step", "field", "note", kSession, "5", "java.lang.String", "24", "\"value-7\""});
        return "error\t" + name + "\tunknown-request\tnot scripted\n";
    }

private:
    static std::string option(const Fields& request, const std::string& key)
    {
        for (const std::string& f : request)
            if (f.rfind(key, 0) == 0)
                return f.substr(key.size());
        return {};
    }

    static std::string histoRow(const std::string& type, long long instances, long long bytes)
    {
        return ScriptedAgent::record({"class", type, std::to_string(instances), std::to_string(bytes)});
    }

    std::string refFields(const std::string& h) const
    {
        const Obj& o = objects_.at(h);
        return h + "\t" + o.type + "\t" + std::to_string(o.size) + "\t" + o.preview;
    }

    std::string root(const std::string& kind, const std::string& thread, const std::string& method,
                     const std::string& h) const
    {
        return "root\t" + kind + "\t" + thread + "\t" + method + "\t" + refFields(h) + "\n";
    }

    std::string referrer(const std::string& how, const std::string& field, const std::string& declared,
                         const std::string& h) const
    {
        return "referrer\t" + how + "\t" + field + "\t" + declared + "\t" + refFields(h) + "\n";
    }

    std::string objectRecords(const std::string& h) const
    {
        const Obj& o = objects_.at(h);
        std::string body = "object\t" + h + "\t" + o.type + "\t" + std::to_string(o.size) + "\t\t" + o.preview + "\n";
        if (o.type == "java.lang.String")
            body += "text\t" + o.preview.substr(1, o.preview.size() - 2) + "\n";
        for (const Fields& s : o.slots) {
            body += "slot\t" + s[0] + "\t" + s[1] + "\t" + s[2] + "\t" + s[3] + "\t" + s[4];
            body += s[5].empty() ? std::string("\t\t\t\t\n") : "\t" + refFields(s[5]) + "\n";
        }
        return body;
    }

    std::string instances(const std::string& className, const std::string& contains) const
    {
        std::vector<std::string> rows;
        long long searched = 0;
        for (const auto& [h, o] : objects_) {
            if (o.type != className)
                continue;
            ++searched;
            if (contains.empty() || o.preview.find(contains) != std::string::npos)
                rows.push_back("instance\t" + refFields(h) + "\n");
        }
        std::string body = "ok\tinstances\ttotal=" + std::to_string(rows.size()) + "\toffset=0\tlimit=500\tclasses=1" +
                           (contains.empty() ? std::string() : "\tsearched=" + std::to_string(searched)) + "\n";
        for (const std::string& row : rows)
            body += row;
        return body;
    }

    long long pid_;
    std::map<std::string, Obj> objects_;
};

QModelIndex childNamed(QAbstractItemModel* model, const QModelIndex& parent, const QString& name)
{
    for (int row = 0; row < model->rowCount(parent); ++row)
        if (model->index(row, 0, parent).data().toString() == name)
            return model->index(row, 0, parent);
    return {};
}

QStringList names(QAbstractItemModel* model, const QModelIndex& parent, int column = 0)
{
    QStringList texts;
    for (int row = 0; row < model->rowCount(parent); ++row)
        texts << model->index(row, column, parent).data().toString();
    return texts;
}

// A click on a column's header, as a user sorts by it.
void clickHeader(QHeaderView* header, int section)
{
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, 5));
}

}  // namespace

class ExplorerHabitsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void selectionAndTheObjectMenuFollowTheTabShown();
    void theStatusBarKeepsARequestsTimeWhileDetailsAreRead();
    void handlesInTheDetailsAreLinksAndTheSearchFindsThem();
    void aSearchThatFindsNothingSaysSo();
    void backAndForwardGoBetweenOpenedObjects();
    void openedObjectsCloseAndAreNotDoubled();
    void numbersSortLargestFirstAndNamesIgnoreCaseWithWildcards();
    void shadowedFieldsNameTheirClass();
    void longTypeNamesAreShortenedInThePackage();
    void aReferrerAlreadyAboveIsMarkedAndNotOpened();
    void instancesShowPreviewsAndFindByValue();
    void theSameAgentAgainKeepsTheOpenedObjects();

private:
    // Waits for the histogram and the roots of a fresh window.
    void openWindow();
    QModelIndex openObject(const std::string& handle, const std::string& type);

    QTemporaryDir settings_;
    std::unique_ptr<Heap> heap_;
    std::unique_ptr<ScriptedAgent> agent_;
    std::unique_ptr<ExplorerWindow> window_;
};

void ExplorerHabitsTest::initTestCase()
{
    QVERIFY(settings_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
}

void ExplorerHabitsTest::init()
{
    heap_ = std::make_unique<Heap>(4242);
    agent_ = std::make_unique<ScriptedAgent>([heap = heap_.get()](const Fields& request) { return heap->answer(request); });
    openWindow();
}

void ExplorerHabitsTest::cleanup()
{
    window_.reset();
    agent_.reset();
    heap_.reset();
}

void ExplorerHabitsTest::openWindow()
{
    window_ = std::make_unique<ExplorerWindow>(agent_->port());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QTRY_COMPARE_WITH_TIMEOUT(window_->classesPage()->sortedClasses()->rowCount(), 7, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(childNamed(window_->objectsModel(), {}, QStringLiteral("GC roots: Thread")).isValid(), kWaitMs);
}

QModelIndex ExplorerHabitsTest::openObject(const std::string& handle, const std::string& type)
{
    window_->showInObjects({handle, type, -1, ""});
    const QModelIndex row = window_->objectsView()->currentIndex();
    HeapTreeModel* model = window_->objectsModel();
    if (!QTest::qWaitFor([&] { return model->itemAt(row)->fetch() == HeapTreeItem::Fetch::done; }, kWaitMs))
        return {};
    return row;
}

void ExplorerHabitsTest::selectionAndTheObjectMenuFollowTheTabShown()
{
    const ExplorerActions& actions = window_->actions();
    window_->search(QStringLiteral("java.lang.String"));
    QCOMPARE(window_->tabs()->currentIndex(), 1);
    QTableView* instances = window_->classesPage()->instanceTable();
    QTRY_COMPARE_WITH_TIMEOUT(instances->model()->rowCount(), 2, kWaitMs);
    QTRY_COMPARE(window_->details()->handle(), std::string("2"));  // the first instance, current at once
    QVERIFY(actions.referrers->isEnabled());

    // Another tab: its own current row (none) is what the menu acts on.
    window_->tabs()->setCurrentIndex(0);
    window_->objectsView()->setCurrentIndex({});
    QCOMPARE(window_->details()->handle(), std::string());
    QVERIFY(!actions.referrers->isEnabled());

    // Back again: the instance row highlighted is the one acted on, not the class table's.
    window_->tabs()->setCurrentIndex(1);
    QCOMPARE(window_->details()->handle(), std::string("2"));
    QVERIFY(actions.referrers->isEnabled());
    QVERIFY(actions.path->isEnabled());

    // A histogram counted afresh while another tab is shown changes nothing there.
    window_->tabs()->setCurrentIndex(0);
    const QModelIndex session = openObject("1", kSession);
    QCOMPARE(window_->details()->handle(), std::string("1"));
    window_->refreshHistogram();
    QTRY_VERIFY_WITH_TIMEOUT(!window_->requestStatus()->busy(), kWaitMs);
    QCOMPARE(window_->details()->handle(), std::string("1"));
    QCOMPARE(window_->objectsView()->currentIndex(), session);
    QVERIFY(actions.referrers->isEnabled());
}

void ExplorerHabitsTest::theStatusBarKeepsARequestsTimeWhileDetailsAreRead()
{
    window_->refreshHistogram();
    QTRY_VERIFY_WITH_TIMEOUT(window_->requestStatus()->message().startsWith(QStringLiteral("counting the heap by class: ")),
                             kWaitMs);
    const QString counted = window_->requestStatus()->message();
    QVERIFY2(counted.contains(QStringLiteral("the program paused 2.0 ms")), qPrintable(counted));

    // Rows selected afterwards are read for the details pane: the count's time stays.
    const int before = static_cast<int>(agent_->count("object\t"));
    window_->search(QStringLiteral("java.lang.String"));
    QTRY_COMPARE_WITH_TIMEOUT(window_->classesPage()->instanceModel()->rowCount(), 2, kWaitMs);
    QSignalSpy shown(window_->details(), &DetailsPane::shown);
    window_->classesPage()->instanceTable()->setCurrentIndex(window_->classesPage()->instanceModel()->index(1, 0));
    QTRY_VERIFY_WITH_TIMEOUT(shown.count() > 0 && !window_->requestStatus()->busy(), kWaitMs);
    QVERIFY(static_cast<int>(agent_->count("object\t")) > before);
    QVERIFY2(window_->requestStatus()->message().startsWith(QStringLiteral("listing the instances of java.lang.String")),
             qPrintable(window_->requestStatus()->message()));

    // A request of the user's own replaces it, as the next one should.
    window_->refreshHistogram();
    QTRY_VERIFY_WITH_TIMEOUT(window_->requestStatus()->message().startsWith(QStringLiteral("counting the heap")), kWaitMs);
}

void ExplorerHabitsTest::handlesInTheDetailsAreLinksAndTheSearchFindsThem()
{
    openObject("1", kSession);
    // The manager's handle is a link; following it opens the manager in the Objects view.
    const QUrl link = objectLink({"4", kManager, 48, ""});
    QTRY_VERIFY_WITH_TIMEOUT(window_->details()->toHtml().contains(link.toString(QUrl::FullyEncoded)), kWaitMs);
    Q_EMIT window_->details()->anchorClicked(link);
    QCOMPARE(window_->tabs()->currentIndex(), 0);
    QModelIndex current = window_->objectsView()->currentIndex();
    QCOMPARE(current.data(HandleRole).toString(), QStringLiteral("4"));
    QCOMPARE(current.siblingAtColumn(HeapTreeModel::TypeColumn).data().toString(), QString::fromStdString(kManager));

    // The search box takes handles as the views show them, and bare when no class matches.
    for (const char* text : {"@6", "0x6", "6"}) {
        window_->objectsView()->setCurrentIndex({});
        window_->searchBox()->setText(QString::fromLatin1(text));
        QTest::keyClick(window_->searchBox(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(window_->objectsView()->currentIndex().data(HandleRole).toString(), QStringLiteral("6"),
                                  kWaitMs);
        QCOMPARE(window_->tabs()->currentIndex(), 0);
    }
}

void ExplorerHabitsTest::aSearchThatFindsNothingSaysSo()
{
    QLineEdit* search = window_->searchBox();
    search->setText(QStringLiteral("NoSuchThing"));
    QTest::keyClick(search, Qt::Key_Return);
    QVERIFY(search->property("nothingFound").toBool());
    QCOMPARE(window_->requestStatus()->message(), QStringLiteral("Nothing found: no class name matches “NoSuchThing”"));
    QVERIFY(window_->requestStatus()->showingFailure());
    QVERIFY(window_->classesPage()->findChild<QLabel*>(QStringLiteral("histogramSummary"))->text().contains(
        QStringLiteral("no class matches “NoSuchThing”")));

    // Typing again takes the mark away; a handle that names nothing says so too.
    search->setText(QStringLiteral("@7777777"));
    QVERIFY(!search->property("nothingFound").toBool());
    QTest::keyClick(search, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(search->property("nothingFound").toBool(), kWaitMs);
    QCOMPARE(window_->requestStatus()->message(), QStringLiteral("Nothing found: no live object has the handle @7777777"));
    QCOMPARE(childNamed(window_->objectsModel(), {}, QStringLiteral("Opened objects")), QModelIndex());

    search->setText(QStringLiteral("@xyz"));
    QTest::keyClick(search, Qt::Key_Return);
    QVERIFY(window_->requestStatus()->message().contains(QStringLiteral("is no handle")));
}

void ExplorerHabitsTest::backAndForwardGoBetweenOpenedObjects()
{
    const ExplorerActions& actions = window_->actions();
    QVERIFY(!actions.back->isEnabled());
    openObject("1", kSession);
    openObject("4", kManager);
    openObject("5", "java.lang.String");
    QTreeView* view = window_->objectsView();
    auto currentHandle = [&] { return view->currentIndex().data(HandleRole).toString(); };
    QVERIFY(actions.back->isEnabled());
    QVERIFY(!actions.forward->isEnabled());

    view->setFocus();
    QTest::keyClick(view, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(currentHandle(), QStringLiteral("4"));
    QTest::keyClick(view, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(currentHandle(), QStringLiteral("1"));
    QVERIFY(!actions.back->isEnabled());
    QTest::keyClick(view, Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(currentHandle(), QStringLiteral("4"));
    QVERIFY(actions.forward->isEnabled());

    // Opening another object from here drops what was ahead, as a browser does.
    openObject("6", "java.lang.Integer");
    QVERIFY(!actions.forward->isEnabled());
    actions.back->trigger();
    QCOMPARE(currentHandle(), QStringLiteral("4"));
    // Going back to an object that was closed opens it again.
    window_->objectsPage()->closeAll();
    actions.back->trigger();
    QCOMPARE(currentHandle(), QStringLiteral("1"));
    QCOMPARE(names(window_->objectsModel(), childNamed(window_->objectsModel(), {}, QStringLiteral("Opened objects"))),
             QStringList{QStringLiteral("@1")});
}

void ExplorerHabitsTest::openedObjectsCloseAndAreNotDoubled()
{
    HeapTreeModel* model = window_->objectsModel();
    openObject("1", kSession);
    openObject("4", kManager);
    openObject("1", kSession);  // already open: selected where it is
    const QModelIndex opened = childNamed(model, {}, QStringLiteral("Opened objects"));
    QCOMPARE(names(model, opened), (QStringList{"@1", "@4"}));
    QCOMPARE(window_->objectsView()->currentIndex().data(HandleRole).toString(), QStringLiteral("1"));

    QTreeView* view = window_->objectsView();
    view->setFocus();
    QVERIFY(window_->actions().closeObject->isEnabled());
    QTest::keyClick(view, Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(names(model, childNamed(model, {}, QStringLiteral("Opened objects"))), QStringList{"@4"});
    QCOMPARE(view->currentIndex().data(HandleRole).toString(), QStringLiteral("4"));  // the next one is current

    // A field of an opened object is no opened object: it does not close.
    const QModelIndex field = model->index(0, 0, view->currentIndex());
    view->setCurrentIndex(field);
    QVERIFY(!window_->actions().closeObject->isEnabled());
    view->setCurrentIndex(field.parent());
    QTest::keyClick(view, Qt::Key_W, Qt::ControlModifier);
    QVERIFY(!childNamed(model, {}, QStringLiteral("Opened objects")).isValid());  // the empty group goes too
    QVERIFY(childNamed(model, {}, QStringLiteral("GC roots: Thread")).isValid());
}

void ExplorerHabitsTest::numbersSortLargestFirstAndNamesIgnoreCaseWithWildcards()
{
    window_->tabs()->setCurrentIndex(1);
    QTableView* table = window_->classesPage()->classTable();
    QSortFilterProxyModel* sorted = window_->classesPage()->sortedClasses();
    auto column = [&](int c) { return names(sorted, {}, c); };

    clickHeader(table->horizontalHeader(), HistogramModel::InstancesColumn);
    QCOMPARE(table->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(column(HistogramModel::InstancesColumn).first(), QStringLiteral("1,000"));
    clickHeader(table->horizontalHeader(), HistogramModel::ShareColumn);
    QCOMPARE(column(HistogramModel::ClassColumn).first(), QStringLiteral("java.lang.String"));

    // Names from A to Z, whatever their case: "Banana" between "apple" and "cherry".
    clickHeader(table->horizontalHeader(), HistogramModel::ClassColumn);
    QCOMPARE(table->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(column(HistogramModel::ClassColumn).mid(0, 3), (QStringList{"apple.Zeta", "Banana", "cherry.Box"}));

    // The search ignores case, and * stands for any run of characters.
    window_->searchBox()->setText(QStringLiteral("standard*SESSION"));
    QCOMPARE(column(HistogramModel::ClassColumn),
             (QStringList{QString::fromStdString(kSession), QString::fromStdString(kFacade)}));
    window_->searchBox()->setText(QStringLiteral("BANANA"));
    QCOMPARE(column(HistogramModel::ClassColumn), QStringList{"Banana"});
    QTest::keyClick(window_->searchBox(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(window_->classesPage()->instanceModel()->className(), std::string("Banana"), kWaitMs);

    // The instance list's size sorts largest first too.
    QCOMPARE(window_->classesPage()->instanceModel()
                 ->headerData(InstanceListModel::SizeColumn, Qt::Horizontal, Qt::InitialSortOrderRole)
                 .toInt(),
             int(Qt::DescendingOrder));
}

void ExplorerHabitsTest::shadowedFieldsNameTheirClass()
{
    const QModelIndex session = openObject("1", kSession);
    HeapTreeModel* model = window_->objectsModel();
    QCOMPARE(names(model, session), (QStringList{"AbstractMap.keySet", "id", "manager", "note", "StandardSession.keySet",
                                                 "maxInactiveInterval"}));
    QVERIFY(model->index(0, 0, session).data(Qt::ToolTipRole).toString().contains(QStringLiteral("java.util.AbstractMap")));
    QTRY_VERIFY_WITH_TIMEOUT(window_->details()->toPlainText().contains(QStringLiteral("AbstractMap.keySet")), kWaitMs);
    QVERIFY(window_->details()->toPlainText().contains(QStringLiteral("StandardSession.keySet")));
}

void ExplorerHabitsTest::longTypeNamesAreShortenedInThePackage()
{
    openObject("1", kSession);
    QTreeView* view = window_->objectsView();
    const QModelIndex row = view->currentIndex().siblingAtColumn(HeapTreeModel::TypeColumn);
    auto* delegate = qobject_cast<TypeNameDelegate*>(view->itemDelegateForColumn(HeapTreeModel::TypeColumn));
    QVERIFY(delegate);
    const QString full = QString::fromStdString(kSession);
    QCOMPARE(row.data(Qt::ToolTipRole).toString().section('\n', 0, 0), full);

    const QString wanted = QStringLiteral("o.a.catalina.session.StandardSession");
    view->header()->resizeSection(HeapTreeModel::TypeColumn,
                                  view->fontMetrics().horizontalAdvance(wanted) + 16);
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = view->visualRect(row);
    option.widget = view;
    const QString shown = delegate->shownText(option, row);
    QVERIFY2(shown.endsWith(QStringLiteral(".StandardSession")), qPrintable(shown));
    QVERIFY2(shown.startsWith(QStringLiteral("o.")), qPrintable(shown));
    QVERIFY2(shown.size() < full.size(), qPrintable(shown));
    // Wide enough, the name is whole.
    view->header()->resizeSection(HeapTreeModel::TypeColumn, view->fontMetrics().horizontalAdvance(full) + 40);
    option.rect = view->visualRect(row);
    QCOMPARE(delegate->shownText(option, row), full);
}

void ExplorerHabitsTest::aReferrerAlreadyAboveIsMarkedAndNotOpened()
{
    window_->showReferrers({"1", kSession, 64, ""});
    HeapTreeModel* refs = window_->referrersModel();
    const QModelIndex target = refs->index(0, 0);
    QTRY_COMPARE_WITH_TIMEOUT(refs->itemAt(target)->fetch(), HeapTreeItem::Fetch::done, kWaitMs);
    const QModelIndex manager = childNamed(refs, target, QStringLiteral("current"));
    QVERIFY(manager.isValid());
    window_->referrersView()->expand(manager);
    QTRY_COMPARE_WITH_TIMEOUT(refs->itemAt(manager)->fetch(), HeapTreeItem::Fetch::done, kWaitMs);
    const QModelIndex back = childNamed(refs, manager, QStringLiteral("manager"));
    QCOMPARE(back.data(HandleRole).toString(), QStringLiteral("1"));
    QVERIFY(back.siblingAtColumn(HeapTreeModel::ValueColumn).data().toString().contains(QStringLiteral("already above")));
    QVERIFY(!refs->hasChildren(back));
    const size_t asked = agent_->count("referrers\t1");
    window_->referrersView()->expand(back);
    QTest::qWait(100);
    QCOMPARE(agent_->count("referrers\t1"), asked);
}

void ExplorerHabitsTest::instancesShowPreviewsAndFindByValue()
{
    window_->search(QStringLiteral("java.lang.String"));
    InstanceListModel* instances = window_->classesPage()->instanceModel();
    QTRY_COMPARE_WITH_TIMEOUT(instances->rowCount(), 2, kWaitMs);
    QCOMPARE(names(instances, {}, InstanceListModel::ValueColumn), (QStringList{"\"session-7\"", "\"value-7\""}));

    QLineEdit* holding = window_->classesPage()->instanceFilter();
    QTest::keyClick(window_->classesPage()->instanceTable(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(holding->hasFocus());
    QTest::keyClicks(holding, QStringLiteral("value-7"));
    QTest::keyClick(holding, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(instances->rowCount(), 1, kWaitMs);
    QCOMPARE(instances->index(0, InstanceListModel::ValueColumn).data().toString(), QStringLiteral("\"value-7\""));
    QCOMPARE(instances->statusText(), QStringLiteral("1 instances of java.lang.String holding “value-7” (2 searched)"));
    QVERIFY(agent_->requests().back().find("contains=value-7") != std::string::npos);
    // F5 lists them again, with the same text.
    window_->classesPage()->refresh();
    QTRY_VERIFY_WITH_TIMEOUT(agent_->count("instances\tjava.lang.String") >= 3 && !window_->requestStatus()->busy(),
                             kWaitMs);
    QCOMPARE(instances->rowCount(), 1);
    QCOMPARE(instances->contains(), std::string("value-7"));

    // Cleared, every instance is listed again.
    holding->clear();
    QTRY_COMPARE_WITH_TIMEOUT(instances->rowCount(), 2, kWaitMs);
}

void ExplorerHabitsTest::theSameAgentAgainKeepsTheOpenedObjects()
{
    openObject("1", kSession);
    HeapTreeModel* model = window_->objectsModel();
    window_->connectTo(agent_->port());
    QTRY_VERIFY_WITH_TIMEOUT(window_->connectionBar()->connected(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(childNamed(model, {}, QStringLiteral("GC roots: Thread")).isValid(), kWaitMs);
    QCOMPARE(names(model, childNamed(model, {}, QStringLiteral("Opened objects"))), QStringList{"@1"});

    // Another agent's handles name other objects: nothing of the first is kept.
    Heap other(777);
    ScriptedAgent second([&other](const Fields& request) { return other.answer(request); });
    window_->connectionBar()->setPort(second.port());
    window_->connectTo(second.port());
    QTRY_VERIFY_WITH_TIMEOUT(window_->connectionBar()->stateText().contains(QStringLiteral("pid 777")), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(childNamed(model, {}, QStringLiteral("GC roots: Thread")).isValid(), kWaitMs);
    QVERIFY(!childNamed(model, {}, QStringLiteral("Opened objects")).isValid());
    QVERIFY(!window_->actions().back->isEnabled());
    window_.reset();  // before the second agent goes
}

QTEST_MAIN(ExplorerHabitsTest)
#include "explorer_habits_test.moc"
