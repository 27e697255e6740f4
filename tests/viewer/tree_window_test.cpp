// The main window against the fake agent: what refresh, expansion and close send, and
// the tree they leave behind.
#include <QAbstractItemModelTester>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <memory>

#include "fake_agent.h"
#include "object_tree_model.h"
#include "tree_window.h"

class TreeWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsWithTheRootAlone();
    void refreshShowsOneNodePerLineWithAPlaceholder();
    void lineWithoutBlankEndsTheReply();
    void expandingTheRootSendsNothing();
    void expandingSendsTheHandleAndEachExpansionFetchesAfresh();
    void emptyExpansionLeavesNoExpander();
    void refreshCollapsesAndRebuilds();
    void doubleClickExpandsThroughTheSameHandler();
    void noAgentLeavesTheRootEmpty();
    void closeSendsQAndEndsTheProcess();

private:
    QStringList captions(const QModelIndex& parent) const;
    QModelIndex child(const QModelIndex& parent, const QString& caption) const;

    std::unique_ptr<FakeAgent> agent_;
    std::unique_ptr<TForm1> form_;
    std::unique_ptr<QAbstractItemModelTester> tester_;
};

void TreeWindowTest::init()
{
    agent_ = std::make_unique<FakeAgent>();
    form_ = std::make_unique<TForm1>(agent_->port());
    form_->configure(ViewerOptions{-1, agent_->port()}, nullptr);
    tester_ = std::make_unique<QAbstractItemModelTester>(form_->model(),
                                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void TreeWindowTest::cleanup()
{
    tester_.reset();
    form_.reset();
    agent_.reset();
}

QStringList TreeWindowTest::captions(const QModelIndex& parent) const
{
    QStringList out;
    const QAbstractItemModel* model = form_->model();
    for (int row = 0; row < model->rowCount(parent); ++row)
        out << model->index(row, 0, parent).data().toString();
    return out;
}

QModelIndex TreeWindowTest::child(const QModelIndex& parent, const QString& caption) const
{
    const QAbstractItemModel* model = form_->model();
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (index.data().toString() == caption)
            return index;
    }
    return {};
}

void TreeWindowTest::startsWithTheRootAlone()
{
    QCOMPARE(form_->windowTitle(), QStringLiteral("Vorlan"));
    QCOMPARE(captions({}), QStringList{"classes"});
    QVERIFY(!form_->model()->hasChildren(form_->model()->rootIndex()));
    QVERIFY(form_->client().connected());  // the attempt made while the window was built
    QCOMPARE(agent_->requests().size(), size_t(0));
}

void TreeWindowTest::refreshShowsOneNodePerLineWithAPlaceholder()
{
    agent_->queueListing("1a2b Ljava/lang/String; \n7 [I \n40000003 [[Ljava/lang/Object; \n");
    form_->refresh_btn->click();

    const QModelIndex root = form_->model()->rootIndex();
    QCOMPARE(captions(root), (QStringList{"java/lang/String", "int[]", "java/lang/Object[][]"}));
    QVERIFY(form_->tree->isExpanded(root));
    for (int row = 0; row < 3; ++row) {
        const QModelIndex node = form_->model()->index(row, 0, root);
        QCOMPARE(captions(node), QStringList{"0"});
        QVERIFY(form_->model()->isPlaceholder(form_->model()->index(0, 0, node)));
        QVERIFY(!form_->tree->isExpanded(node));
    }
    QCOMPARE(form_->model()->handle(form_->model()->index(0, 0, root)), std::string("1a2b"));
    QCOMPARE(form_->model()->handle(form_->model()->index(2, 0, root)), std::string("40000003"));
    const auto requests = agent_->requests();
    QCOMPARE(requests.size(), size_t(1));
    QCOMPARE(requests[0].command, std::string("p"));
}

void TreeWindowTest::lineWithoutBlankEndsTheReply()
{
    agent_->queueListing("1 Z \n2Ljava/lang/String;\n3 [I \n");
    form_->refresh_btn->click();
    QCOMPARE(captions(form_->model()->rootIndex()), QStringList{"boolean"});
}

void TreeWindowTest::expandingTheRootSendsNothing()
{
    agent_->queueListing("1 J \n");
    form_->refresh_btn->click();
    const QModelIndex root = form_->model()->rootIndex();
    form_->tree->collapse(root);
    form_->tree->expand(root);
    QCOMPARE(agent_->requests().size(), size_t(1));  // the refresh's "p" only
    QCOMPARE(captions(root), QStringList{"long"});
}

void TreeWindowTest::expandingSendsTheHandleAndEachExpansionFetchesAfresh()
{
    agent_->queueListing("1a2b Ljava/lang/String; \n");
    form_->refresh_btn->click();
    const QModelIndex string = child(form_->model()->rootIndex(), "java/lang/String");

    agent_->queueListing("40000001 Ljava/lang/String; \n5 [B \n");
    form_->tree->expand(string);
    QCOMPARE(captions(string), (QStringList{"java/lang/String", "byte[]"}));
    // Expand a grandchild too: the next fetch of its parent must drop it.
    agent_->queueListing("9 J \n");
    form_->tree->expand(child(string, "byte[]"));

    form_->tree->collapse(string);
    agent_->queueListing("6 [C \n");
    form_->tree->expand(string);
    QCOMPARE(captions(string), QStringList{"char[]"});
    QCOMPARE(captions(child(string, "char[]")), QStringList{"0"});

    const auto requests = agent_->requests();
    QCOMPARE(requests.size(), size_t(4));
    QCOMPARE(requests[1].command, std::string("e"));
    QCOMPARE(requests[1].handle, std::string("1a2b"));
    QCOMPARE(requests[2].handle, std::string("5"));
    QCOMPARE(requests[3].command, std::string("e"));
    QCOMPARE(requests[3].handle, std::string("1a2b"));
}

void TreeWindowTest::emptyExpansionLeavesNoExpander()
{
    agent_->queueListing("3 I \n");
    form_->refresh_btn->click();
    const QModelIndex node = child(form_->model()->rootIndex(), "int");
    form_->tree->expand(node);  // nothing queued: the fake answers with an empty listing
    QVERIFY(!form_->model()->hasChildren(node));
    QCOMPARE(agent_->requests().size(), size_t(2));
}

void TreeWindowTest::refreshCollapsesAndRebuilds()
{
    agent_->queueListing("1 Ljava/lang/Thread; \n2 Ljava/lang/String; \n");
    form_->refresh_btn->click();
    const QModelIndex root = form_->model()->rootIndex();
    agent_->queueListing("3 Ljava/lang/ThreadGroup; \n");
    const QModelIndex thread = child(root, "java/lang/Thread");
    form_->tree->expand(thread);
    QVERIFY(form_->tree->isExpanded(thread));

    agent_->queueListing("1 Ljava/lang/Thread; \n4 [J \n");
    form_->refresh_btn->click();

    QVERIFY(form_->tree->isExpanded(root));
    QCOMPARE(captions(root), (QStringList{"java/lang/Thread", "long[]"}));
    const QModelIndex again = child(root, "java/lang/Thread");
    QVERIFY(!form_->tree->isExpanded(again));
    QCOMPARE(captions(again), QStringList{"0"});
    QCOMPARE(agent_->requests().back().command, std::string("p"));
}

void TreeWindowTest::doubleClickExpandsThroughTheSameHandler()
{
    agent_->queueListing("1a2b Ljava/lang/String; \n");
    form_->refresh_btn->click();
    const QModelIndex node = child(form_->model()->rootIndex(), "java/lang/String");
    agent_->queueListing("5 [B \n");

    const QRect rect = form_->tree->visualRect(node);
    QVERIFY(rect.isValid());
    // Through the window, so the press, release, press and double click all arrive.
    const QPoint at = form_->tree->viewport()->mapTo(form_.get(), rect.center());
    QTest::mouseDClick(form_->windowHandle(), Qt::LeftButton, {}, at);

    QVERIFY(form_->tree->isExpanded(node));
    QCOMPARE(captions(node), QStringList{"byte[]"});
    QCOMPARE(agent_->requests().size(), size_t(2));
}

void TreeWindowTest::noAgentLeavesTheRootEmpty()
{
    const int port = FakeAgent::unusedPort();
    TForm1 form(port);
    form.configure(ViewerOptions{-1, port}, nullptr);
    QVERIFY(!form.client().connected());
    form.refresh_btn->click();
    QVERIFY(!form.model()->hasChildren(form.model()->rootIndex()));
}

void TreeWindowTest::closeSendsQAndEndsTheProcess()
{
    // The fake serves one connection at a time: this window's goes first.
    tester_.reset();
    form_.reset();
    agent_->queueListing("1 I \n");
    QProcess viewer;
    viewer.setProgram(QStringLiteral(VORLAN_WINDOW_DRIVER));
    const QString port = QString::number(agent_->port());
    viewer.setArguments({"-platform", "offscreen", "--initial-port=" + port, "--step=refresh", "--step=close",
                         "port=" + port});
    viewer.start();
    QVERIFY(viewer.waitForFinished(20000));
    QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(viewer.exitCode(), 0);

    QVERIFY(agent_->waitForRequests(2));
    const auto requests = agent_->requests();
    QCOMPARE(requests.size(), size_t(2));
    QCOMPARE(requests[0].command, std::string("p"));
    QCOMPARE(requests[1].command, std::string("q"));
}

QTEST_MAIN(TreeWindowTest)
#include "tree_window_test.moc"
