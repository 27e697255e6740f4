// The main window against an agent that misbehaves: nothing may crash, and the tree
// shows exactly the lines that arrived complete.
#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <memory>

#include "fake_agent.h"
#include "object_tree_model.h"
#include "tree_window.h"

class AgentFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void headerPromisingMoreThanArrivesKeepsTheCompleteLines();
    void garbageHeaderGivesAnEmptyReply();
    void bodyWithoutFinalLineFeedDropsTheLastLine();
    void agentDyingBetweenRequestsLeavesEmptyReplies();
    void silentAgentBlocksUntilItGoesAway();

private:
    QStringList rootCaptions() const;

    std::unique_ptr<FakeAgent> agent_;
    std::unique_ptr<TForm1> form_;
    std::unique_ptr<QAbstractItemModelTester> tester_;
};

void AgentFaultsTest::init()
{
    agent_ = std::make_unique<FakeAgent>();
    form_ = std::make_unique<TForm1>(agent_->port());
    form_->configure(ViewerOptions{-1, agent_->port()}, nullptr);
    tester_ = std::make_unique<QAbstractItemModelTester>(form_->model(),
                                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void AgentFaultsTest::cleanup()
{
    tester_.reset();
    form_.reset();
    agent_.reset();
}

QStringList AgentFaultsTest::rootCaptions() const
{
    QStringList out;
    const QModelIndex root = form_->model()->rootIndex();
    for (int row = 0; row < form_->model()->rowCount(root); ++row)
        out << form_->model()->index(row, 0, root).data().toString();
    return out;
}

void AgentFaultsTest::headerPromisingMoreThanArrivesKeepsTheCompleteLines()
{
    agent_->queueReply({{FakeAgent::header(500), "1 Ljava/lang/String; \n2 [I \n3 Ljava/la"}, true});
    form_->refresh_btn->click();
    QCOMPARE(rootCaptions(), (QStringList{"java/lang/String", "int[]"}));
    QCOMPARE(form_->client().strcnt(), 2);

    // The agent is gone now and the client does not reconnect: later requests are empty.
    form_->refresh_btn->click();
    QVERIFY(rootCaptions().isEmpty());
    QVERIFY(form_->tree->isExpanded(form_->model()->rootIndex()));
}

void AgentFaultsTest::garbageHeaderGivesAnEmptyReply()
{
    agent_->queueReply({{FakeAgent::header("zz17"), ""}, false});
    agent_->queueReply({{std::string(32, '\xff')}, true});
    form_->refresh_btn->click();
    QVERIFY(rootCaptions().isEmpty());
    QCOMPARE(form_->client().strcnt(), 0);
    form_->refresh_btn->click();
    QVERIFY(rootCaptions().isEmpty());
}

void AgentFaultsTest::bodyWithoutFinalLineFeedDropsTheLastLine()
{
    const std::string body = "1 Z \n2 Ljava/lang/Thread; ";
    agent_->queueReply({{FakeAgent::header(body.size()), body}, false});
    form_->refresh_btn->click();
    QCOMPARE(rootCaptions(), QStringList{"boolean"});

    // Expanding that node on a body cut mid-line shows the complete lines only.
    const std::string refs = "5 [J \n6 Lj";
    agent_->queueReply({{FakeAgent::header(refs.size()), refs}, false});
    const QModelIndex node = form_->model()->index(0, 0, form_->model()->rootIndex());
    form_->tree->expand(node);
    QCOMPARE(form_->model()->rowCount(node), 1);
    QCOMPARE(form_->model()->index(0, 0, node).data().toString(), QStringLiteral("long[]"));
}

void AgentFaultsTest::agentDyingBetweenRequestsLeavesEmptyReplies()
{
    agent_->queueListing("1a Ljava/lang/Object; \n1b [B \n");
    form_->refresh_btn->click();
    QCOMPARE(rootCaptions().size(), 2);

    agent_.reset();  // the Java program ended
    const QModelIndex node = form_->model()->index(0, 0, form_->model()->rootIndex());
    form_->tree->expand(node);
    QCOMPARE(form_->model()->rowCount(node), 0);
    QVERIFY(!form_->model()->hasChildren(node));
    form_->refresh_btn->click();
    QVERIFY(rootCaptions().isEmpty());
}

// The window blocks while the agent says nothing (requests have no time-out), and comes
// back with an empty reply once the agent goes away.
void AgentFaultsTest::silentAgentBlocksUntilItGoesAway()
{
    agent_->pause = std::chrono::milliseconds(1500);
    agent_->queueReply({{"", ""}, true});
    QElapsedTimer timer;
    timer.start();
    form_->refresh_btn->click();
    QVERIFY(timer.elapsed() >= 1400);
    QVERIFY(rootCaptions().isEmpty());
    QCOMPARE(agent_->requests().size(), size_t(1));
}

QTEST_MAIN(AgentFaultsTest)
#include "agent_faults_test.moc"
