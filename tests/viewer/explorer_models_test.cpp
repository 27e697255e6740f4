// The explorer's models on scripted replies, each under QAbstractItemModelTester: the
// heap tree opening objects, paging arrays and referrers, dropping late replies and
// retrying failures; the histogram sorted and filtered by its proxy; instance pages.
#include <QAbstractItemModelTester>
#include <QSortFilterProxyModel>
#include <QTest>

#include <memory>

#include "fake_heap_source.h"
#include "heap_rows.h"
#include "heap_tree_model.h"
#include "histogram_model.h"
#include "instance_list_model.h"

namespace {

Slot primitive(const std::string& name, const std::string& type, const std::string& value)
{
    return {"field", name, "Person", type, value, {}};
}

Slot reference(const std::string& how, const std::string& name, const ObjectRef& target)
{
    return {how, name, how == "field" ? "Person" : "", "java.lang.Object", "", target};
}

ObjectView person()
{
    ObjectView view;
    view.object = {"1a", "Person", 32, ""};
    view.contents = {reference("class", "", {"40000001", "java.lang.Class", 112, "class Person"}),
                  reference("field", "name", {"1b", "java.lang.String", 24, "\"Ada\""}),
                  primitive("age", "int", "36"),
                  {"field", "friend", "Person", "Person", "null", {}}};
    return view;
}

// Elements first..first+count-1 of an Object[length] whose element i is handle 1000+i.
ObjectView arrayPage(long long length, long long first, long long count)
{
    ObjectView view;
    view.object = {"2a", "[Ljava.lang.Object;", 16 + 4 * length, "[" + std::to_string(length) + "]"};
    view.length = length;
    view.contents.push_back(reference("class", "", {"40000002", "java.lang.Class", 112, "class [Ljava.lang.Object;"}));
    for (long long i = first; i < first + count; ++i)
        view.contents.push_back({"element", std::to_string(i), "", "java.lang.Object", "",
                              {std::to_string(1000 + i), "java.lang.Object", 16, ""}});
    return view;
}

}  // namespace

class ExplorerModelsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void openingAnObjectListsItsSlotsAndRefreshesItsRow();
    void arrayElementsComeInPagesThroughTheMoreRow();
    void replyForARowThatWasClearedIsDropped();
    void failureShowsANoteAndRefetchTriesAgain();
    void referrersListRootsAndHoldersAndPageWithoutRepeats();
    void histogramSortsNumbersAsNumbersAndFiltersByName();
    void instancesArriveInPagesUntilTheTotal();

private:
    QStringList column(HeapTreeModel& model, const QModelIndex& parent, int column) const;
    QModelIndex openedRow(HeapTreeModel& model, const ObjectRef& ref);
    // The object requests for one handle: the tester opens every row it meets.
    std::vector<FakeHeapSource::Pending<ObjectQuery, ObjectView>*> requestsFor(const std::string& handle);

    std::unique_ptr<FakeHeapSource> source_;
};

void ExplorerModelsTest::init()
{
    source_ = std::make_unique<FakeHeapSource>();
}

void ExplorerModelsTest::cleanup()
{
    source_.reset();
}

QStringList ExplorerModelsTest::column(HeapTreeModel& model, const QModelIndex& parent, int column) const
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(parent); ++row)
        texts << model.index(row, column, parent).data().toString();
    return texts;
}

QModelIndex ExplorerModelsTest::openedRow(HeapTreeModel& model, const ObjectRef& ref)
{
    return model.appendRow({}, objectRow(ref, QStringLiteral("@") + QString::fromStdString(ref.handle)));
}

std::vector<FakeHeapSource::Pending<ObjectQuery, ObjectView>*> ExplorerModelsTest::requestsFor(const std::string& handle)
{
    std::vector<FakeHeapSource::Pending<ObjectQuery, ObjectView>*> found;
    for (auto& pending : source_->objects)
        if (pending.query.handle == handle)
            found.push_back(&pending);
    return found;
}

void ExplorerModelsTest::openingAnObjectListsItsSlotsAndRefreshesItsRow()
{
    HeapTreeModel model(source_.get(), HeapTreeModel::Opens::contents);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QModelIndex row = openedRow(model, {"1a", "Person", -1, ""});
    // The tester has walked into the new row and fetched it, as a view expanding it would.
    QCOMPARE(source_->objects.size(), size_t(1));
    QCOMPARE(source_->objects[0].query.handle, std::string("1a"));
    QVERIFY(!model.canFetchMore(row));
    QCoreApplication::processEvents();  // the stand-in row comes once the view's own work is done
    QCOMPARE(column(model, row, HeapTreeModel::NameColumn), QStringList{"loading…"});

    source_->objects[0].done(FakeHeapSource::ok(person()));
    QCOMPARE(column(model, row, HeapTreeModel::NameColumn), (QStringList{"<class>", "name", "age", "friend"}));
    QCOMPARE(column(model, row, HeapTreeModel::TypeColumn),
             (QStringList{"java.lang.Class", "java.lang.String", "int", "Person"}));
    QCOMPARE(column(model, row, HeapTreeModel::ValueColumn), (QStringList{"class Person", "\"Ada\"", "36", "null"}));
    QCOMPARE(model.index(1, HeapTreeModel::SizeColumn, row).data().toString(), QStringLiteral("24"));
    QCOMPARE(model.index(1, 0, row).data(HandleRole).toString(), QStringLiteral("1b"));
    // Primitives and nulls are leaves; references open in turn.
    QVERIFY(model.hasChildren(model.index(1, 0, row)));
    QVERIFY(!model.hasChildren(model.index(2, 0, row)));
    QVERIFY(!model.hasChildren(model.index(3, 0, row)));
    // The row itself now knows its size, which the root listing did not say.
    QCOMPARE(model.index(row.row(), HeapTreeModel::SizeColumn).data().toString(), QStringLiteral("32"));
}

void ExplorerModelsTest::arrayElementsComeInPagesThroughTheMoreRow()
{
    HeapTreeModel model(source_.get(), HeapTreeModel::Opens::contents);
    const QModelIndex row = openedRow(model, {"2a", "[Ljava.lang.Object;", -1, ""});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(source_->objects.size(), size_t(1));
    QCOMPARE(source_->objects[0].query.limit.value_or(-1), HeapTreeModel::kFirstPage);
    QVERIFY(!source_->objects[0].query.offset);

    source_->objects[0].done(FakeHeapSource::ok(arrayPage(12500, 0, 1000)));
    QCOMPARE(model.rowCount(row), 1 + 1000 + 1);
    const QModelIndex more = model.index(1001, 0, row);
    QCOMPARE(more.data().toString(), QStringLiteral("1,000 of 12,500 — more"));
    QCOMPARE(model.index(1000, 0, row).data().toString(), QStringLiteral("[999]"));
    QVERIFY(!model.canFetchMore(row));  // later pages wait for the user

    model.fetchNextPage(more);
    QCOMPARE(requestsFor("2a").size(), size_t(2));
    QCOMPARE(requestsFor("2a")[1]->query.offset.value_or(-1), 1000LL);
    QCOMPARE(requestsFor("2a")[1]->query.limit.value_or(-1), HeapTreeModel::kNextPage);
    model.fetchNextPage(model.index(1001, 0, row));  // a second press while it loads sends nothing
    QCOMPARE(requestsFor("2a").size(), size_t(2));

    // The page repeats the array's class slot; it is not listed twice.
    requestsFor("2a")[1]->done(FakeHeapSource::ok(arrayPage(12500, 1000, 10000)));
    QCOMPARE(model.rowCount(row), 1 + 11000 + 1);
    QCOMPARE(model.index(11000, 0, row).data().toString(), QStringLiteral("[10999]"));
    QCOMPARE(model.index(11001, 0, row).data().toString(), QStringLiteral("11,000 of 12,500 — more"));

    model.fetchNextPage(model.index(11001, 0, row));
    requestsFor("2a")[2]->done(FakeHeapSource::ok(arrayPage(12500, 11000, 1500)));
    QCOMPARE(model.rowCount(row), 1 + 12500);
    QCOMPARE(model.index(12500, 0, row).data().toString(), QStringLiteral("[12499]"));
    QCOMPARE(model.index(12500, 0, row).data(HandleRole).toString(), QStringLiteral("13499"));
}

void ExplorerModelsTest::replyForARowThatWasClearedIsDropped()
{
    auto model = std::make_unique<HeapTreeModel>(source_.get(), HeapTreeModel::Opens::contents);
    const QModelIndex row = openedRow(*model, {"1a", "Person", -1, ""});
    model->fetchMore(row);
    model->clear();
    openedRow(*model, {"3a", "Person", -1, ""});
    source_->objects[0].done(FakeHeapSource::ok(person()));
    QCOMPARE(model->rowCount(model->index(0, 0)), 0);  // not the earlier row's slots
    model->fetchMore(model->index(0, 0));
    model.reset();
    source_->objects[1].done(FakeHeapSource::ok(person()));  // the model is gone: nothing happens
}

void ExplorerModelsTest::failureShowsANoteAndRefetchTriesAgain()
{
    HeapTreeModel model(source_.get(), HeapTreeModel::Opens::contents);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QModelIndex row = openedRow(model, {"1a", "Person", -1, ""});
    source_->objects[0].done(FakeHeapSource::failure<ObjectView>(Failure::closed, "the agent went away"));
    QCOMPARE(column(model, row, HeapTreeModel::NameColumn), QStringList{"could not read it: the agent went away"});
    QVERIFY(!model.canFetchMore(row));  // no retry loop from a view laying out rows

    model.refetch(row);
    QCOMPARE(source_->objects.size(), size_t(2));
    source_->objects[1].done(FakeHeapSource::ok(person()));
    QCOMPARE(model.rowCount(row), 4);
}

void ExplorerModelsTest::referrersListRootsAndHoldersAndPageWithoutRepeats()
{
    HeapTreeModel model(source_.get(), HeapTreeModel::Opens::referrers);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QModelIndex row = openedRow(model, {"1a", "Person", 32, ""});
    QCOMPARE(source_->referrers.size(), size_t(1));
    QCOMPARE(source_->referrers[0].query.limit.value_or(-1), HeapTreeModel::kFirstReferrers);

    Referrers first;
    first.total = 3;
    first.roots = {{"stack-local", "main", "Demo.main"}};
    first.rows = {{"field", "friend", "Person", {"1c", "Person", 32, ""}},
                  {"element", "0", "", {"2a", "[LPerson;", 24, "[2]"}}};
    source_->referrers[0].done(FakeHeapSource::ok(first));
    QCOMPARE(column(model, row, HeapTreeModel::NameColumn),
             (QStringList{"GC root: Java stack local", "friend", "[0]", "2 of 3 referrers — more"}));
    QCOMPARE(model.index(0, HeapTreeModel::ValueColumn, row).data().toString(), QStringLiteral("main in Demo.main"));
    // The tester has opened the referrers in turn: each asks for its own referrers.
    QCOMPARE(source_->referrers.size(), size_t(3));
    QCOMPARE(source_->referrers[1].query.handle, std::string("1c"));

    model.fetchNextPage(model.index(3, 0, row));
    QCOMPARE(source_->referrers.back().query.limit.value_or(-1), 3LL);
    Referrers all = first;
    all.rows.push_back({"static", "KEEP", "Demo", {"40000003", "java.lang.Class", 112, "class Demo"}});
    source_->referrers.back().done(FakeHeapSource::ok(all));
    QCOMPARE(column(model, row, HeapTreeModel::NameColumn),
             (QStringList{"GC root: Java stack local", "friend", "[0]", "KEEP"}));
}

void ExplorerModelsTest::histogramSortsNumbersAsNumbersAndFiltersByName()
{
    HistogramModel model;
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&model);
    sorted.setSortRole(HistogramModel::SortRole);
    sorted.setFilterKeyColumn(HistogramModel::ClassColumn);
    sorted.setFilterCaseSensitivity(Qt::CaseInsensitive);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester proxyTester(&sorted, QAbstractItemModelTester::FailureReportingMode::QtTest);

    Histogram h;
    h.classes = 3;
    h.instances = 1111;
    h.bytes = 20000;
    h.rows = {{"[I", 1, 9000}, {"java.lang.String", 100, 10000}, {"Person", 1010, 1000}};
    model.setHistogram(h);
    // As text "9,000" would come after "10,000"; as numbers it comes before.
    sorted.sort(HistogramModel::BytesColumn, Qt::AscendingOrder);
    QStringList names;
    for (int row = 0; row < sorted.rowCount(); ++row)
        names << sorted.index(row, HistogramModel::ClassColumn).data().toString();
    QCOMPARE(names, (QStringList{"Person", "int[]", "java.lang.String"}));
    sorted.sort(HistogramModel::InstancesColumn, Qt::DescendingOrder);
    QCOMPARE(sorted.index(0, HistogramModel::ClassColumn).data().toString(), QStringLiteral("Person"));
    QCOMPARE(sorted.index(0, HistogramModel::InstancesColumn).data().toString(), QStringLiteral("1,010"));
    QCOMPARE(sorted.index(2, HistogramModel::ShareColumn).data().toString(), QStringLiteral("45.0 %"));

    sorted.setFilterFixedString(QStringLiteral("STRING"));
    QCOMPARE(sorted.rowCount(), 1);
    QCOMPARE(sorted.index(0, 0).data(HistogramModel::ClassNameRole).toString(), QStringLiteral("java.lang.String"));
}

void ExplorerModelsTest::instancesArriveInPagesUntilTheTotal()
{
    InstanceListModel model(source_.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.showClass("Person");
    QCOMPARE(source_->instances.size(), size_t(1));
    QCOMPARE(source_->instances[0].query.offset.value_or(-1), 0LL);
    QVERIFY(!model.canFetchMore({}));  // one page at a time

    auto page = [](long long first, long long count) {
        InstancesPage p;
        p.total = 700;
        for (long long i = first; i < first + count; ++i)
            p.rows.push_back({std::to_string(100 + i), "Person", 32, ""});
        return p;
    };
    source_->instances[0].done(FakeHeapSource::ok(page(0, InstanceListModel::kPage)));
    QCOMPARE(model.rowCount(), int(InstanceListModel::kPage));
    QCOMPARE(model.statusText(), QStringLiteral("700 instances of Person, 500 listed: scroll down for more"));
    QVERIFY(model.canFetchMore({}));  // as a view scrolled to the bottom asks
    model.fetchMore({});
    QCOMPARE(source_->instances.size(), size_t(2));
    QCOMPARE(source_->instances[1].query.offset.value_or(-1), InstanceListModel::kPage);

    model.showClass("Other");  // the page for Person that is still out no longer counts
    source_->instances[1].done(FakeHeapSource::ok(page(500, 200)));
    QCOMPARE(model.rowCount(), 0);
    source_->instances[2].done(FakeHeapSource::ok(page(0, 200)));
    QCOMPARE(model.index(0, InstanceListModel::ObjectColumn).data().toString(), QStringLiteral("@100"));
    QCOMPARE(model.index(0, 0).data(HandleRole).toString(), QStringLiteral("100"));
}

QTEST_GUILESS_MAIN(ExplorerModelsTest)
#include "explorer_models_test.moc"
