// The explorer's window without a real agent: nothing listening, an agent that knows
// only the classic commands, a server that is no agent, a listener that never answers,
// and the layout it remembers between runs (in a temporary settings location, never the
// user's).
#include <QHeaderView>
#include <QLineEdit>
#include <QSettings>
#include <QSplitter>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include "classes_page.h"
#include "connection_bar.h"
#include "explorer_window.h"
#include "fake_agent.h"
#include "heap_tree_model.h"
#include "request_status.h"

class ExplorerWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void noAgentShowsWhyAndTheWindowGoesOn();
    void classicOnlyAgentIsCalledTooOld();
    void anotherServerIsNamedAsNoAgent();
    void aListenerThatNeverAnswersEndsInSeconds();
    void sizeAndColumnWidthsAreRememberedBetweenRuns();

private:
    QTemporaryDir settings_;
};

void ExplorerWindowTest::initTestCase()
{
    QVERIFY(settings_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
}

void ExplorerWindowTest::noAgentShowsWhyAndTheWindowGoesOn()
{
    const int port = FakeAgent::unusedPort();
    ExplorerWindow window(port);
    window.show();
    QTRY_VERIFY(window.requestStatus()->showingFailure());
    QVERIFY2(window.requestStatus()->message().contains(QStringLiteral("cannot reach the agent")),
             qPrintable(window.requestStatus()->message()));
    QVERIFY(window.connectionBar()->stateText().startsWith(QStringLiteral("○ not connected")));
    QVERIFY(window.connectionBar()->stateText().contains(QString::number(port)));
    QVERIFY(!window.requestStatus()->busy());
    // Still a working window: the search filters (an empty table), F5 tries again.
    window.searchBox()->setText(QStringLiteral("String"));
    QCOMPARE(window.classesPage()->sortedClasses()->rowCount(), 0);
    window.refreshHistogram();
    QTRY_VERIFY(!window.requestStatus()->busy());
    QVERIFY(window.requestStatus()->message().startsWith(QStringLiteral("counting the heap by class failed")));
}

void ExplorerWindowTest::classicOnlyAgentIsCalledTooOld()
{
    FakeAgent agent;
    agent.queueListing("1a2b Ljava/lang/String; \n");  // a classic agent answers hello with its roots
    ExplorerWindow window(agent.port());
    QTRY_VERIFY(window.requestStatus()->showingFailure());
    QVERIFY2(window.connectionBar()->stateText().contains(QStringLiteral("too old")),
             qPrintable(window.connectionBar()->stateText()));
    QVERIFY(agent.waitForRequests(1));
    QCOMPARE(agent.requests()[0].command, std::string("VRL1 hello\n"));
    // Nothing more is asked of an agent that cannot answer.
    QTest::qWait(200);
    QCOMPARE(agent.requests().size(), size_t(1));
}

void ExplorerWindowTest::anotherServerIsNamedAsNoAgent()
{
    FakeAgent web;
    web.queueReply({{"HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n"}, true});
    ExplorerWindow window(web.port());
    QTRY_VERIFY(window.requestStatus()->showingFailure());
    const QString state = window.connectionBar()->stateText();
    QVERIFY2(state.contains(QStringLiteral("is not a Vorlan agent: it answered hello with \"HTTP/1.1 400")),
             qPrintable(state));
    QVERIFY2(!state.contains(QStringLiteral("too old")), qPrintable(state));
    QVERIFY(!window.requestStatus()->busy());
}

// A socket that listens and never accepts: the connection is made by the system, and
// hello is never read. The attempt ends within seconds, saying so.
void ExplorerWindowTest::aListenerThatNeverAnswersEndsInSeconds()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), size), 0);
    QCOMPARE(::listen(fd, 4), 0);
    QCOMPARE(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const int port = ntohs(address.sin_port);

    const auto start = std::chrono::steady_clock::now();
    ExplorerWindow window(port);
    QVERIFY(window.requestStatus()->busy());
    QTRY_VERIFY_WITH_TIMEOUT(window.requestStatus()->showingFailure(), 15000);
    const auto took = std::chrono::steady_clock::now() - start;
    ::close(fd);
    QVERIFY(took < std::chrono::seconds(10));
    QVERIFY2(window.connectionBar()->stateText().contains(
                 QStringLiteral("no answer to hello from 127.0.0.1:%1 within 5 s").arg(port)),
             qPrintable(window.connectionBar()->stateText()));
    QVERIFY(!window.requestStatus()->busy());
}

void ExplorerWindowTest::sizeAndColumnWidthsAreRememberedBetweenRuns()
{
    const int port = FakeAgent::unusedPort();
    {
        ExplorerWindow window(port);
        window.show();
        window.resize(900, 640);
        window.objectsView()->header()->resizeSection(HeapTreeModel::TypeColumn, 333);
        window.classesPage()->classTable()->horizontalHeader()->resizeSection(0, 222);
        window.close();
    }
    ExplorerWindow again(port);
    again.show();
    QCOMPARE(again.size(), QSize(900, 640));
    QCOMPARE(again.objectsView()->header()->sectionSize(HeapTreeModel::TypeColumn), 333);
    QCOMPARE(again.classesPage()->classTable()->horizontalHeader()->sectionSize(0), 222);
    QVERIFY(QFile::exists(settings_.path() + QStringLiteral("/Vorlan/explorer.conf")));
}

QTEST_MAIN(ExplorerWindowTest)
#include "explorer_window_test.moc"
