#include "agent_session.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "fake_agent.h"

namespace {

const std::string kHello =
    "ok\thello\n"
    "agent\tvorlanagt\t2.0\nprotocol\t1\njvm\tOpenJDK 64-Bit Server VM\t17.0.9\npid\t4242\n"
    "request\tobject\tobject H [offset=N] [limit=N]\n";

std::string reply(const std::string& body)
{
    return FakeAgent::header(body.size()) + body;
}

struct Session {
    FakeAgent agent;
    AgentSession session{agent.port()};
};

TEST(AgentSession, SaysHelloFirstThenSendsTheRequest)
{
    Session s;
    s.agent.queueListing(kHello);
    s.agent.queueListing("ok\thisto\tclasses=1\tinstances=2\tbytes=48\nclass\tjava.lang.String\t2\t48\n");

    const Result<Histogram> histo = s.session.histo({"String", 5});

    ASSERT_TRUE(histo.ok()) << histo.error.message;
    EXPECT_EQ(histo.value.rows.at(0).type, "java.lang.String");
    EXPECT_EQ(s.session.hello().agentVersion, "2.0");
    EXPECT_EQ(s.session.hello().pid, 4242);
    EXPECT_EQ(s.session.hello().requests.at(0).name, "object");
    const auto requests = s.agent.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].command, "VRL1 hello\n");
    EXPECT_EQ(requests[1].command, "VRL1 histo\tmatch=String\tlimit=5\n");
}

TEST(AgentSession, ReplyInManyPiecesIsReadWhole)
{
    Session s;
    s.agent.pause = std::chrono::milliseconds(5);
    s.agent.queueListing(kHello);
    std::string body = "ok\tinstances\ttotal=300\toffset=0\tlimit=300\n";
    for (int i = 1; i <= 300; ++i)
        body += "instance\t" + std::to_string(i) + "\tPinned\t16\t\n";
    const std::string whole = reply(body);
    ScriptedReply pieces;
    for (size_t at = 0; at < whole.size(); at += 7 + at % 900)
        pieces.pieces.push_back(whole.substr(at, 7 + at % 900));
    s.agent.queueReply(pieces);

    const Result<InstancesPage> page = s.session.instances({"Pinned", true, {}, 300, false});

    ASSERT_TRUE(page.ok()) << page.error.message;
    ASSERT_EQ(page.value.rows.size(), 300u);
    EXPECT_EQ(page.value.rows[299].handle, "300");
    EXPECT_EQ(s.agent.requests().at(1).command, "VRL1 instances\tPinned\tsubclasses=1\tlimit=300\tgc=0\n");
}

TEST(AgentSession, ErrorRecordIsAnErrorAndTheConnectionServesOn)
{
    Session s;
    s.agent.queueListing(kHello);
    s.agent.queueListing("error\tobject\tnot-found\tno live object has handle 7ffffff0\n");
    s.agent.queueListing("ok\tobject\nobject\t1\tjava.lang.Object\t16\t\t\n");

    const Result<ObjectView> missing = s.session.object({"7ffffff0", {}, {}});
    EXPECT_EQ(missing.error.failure, Failure::agentError);
    EXPECT_EQ(missing.error.code, "not-found");
    EXPECT_EQ(missing.error.message, "no live object has handle 7ffffff0");

    const Result<ObjectView> found = s.session.object({"1", {}, {}});
    ASSERT_TRUE(found.ok()) << found.error.message;
    EXPECT_EQ(found.value.object.type, "java.lang.Object");
    EXPECT_EQ(s.agent.connections(), 1);
}

TEST(AgentSession, AgentGoneMidBodyIsAnErrorAndTheNextRequestConnectsAgain)
{
    Session s;
    s.agent.queueListing(kHello);
    s.agent.queueReply({{FakeAgent::header(200) + "ok\treferrers\ttotal=9\nreferrer\tfield"}, true});
    s.agent.queueListing(kHello);
    s.agent.queueListing("ok\treferrers\ttotal=0\n");

    const Result<Referrers> cut = s.session.referrers({"1a2b", {}});
    EXPECT_EQ(cut.error.failure, Failure::closed);
    EXPECT_NE(cut.error.message.find("went away before its reply to referrers"), std::string::npos)
        << cut.error.message;
    EXPECT_FALSE(s.session.isOpen());

    const Result<Referrers> again = s.session.referrers({"1a2b", {}});
    ASSERT_TRUE(again.ok()) << again.error.message;
    EXPECT_EQ(again.value.total, 0);
    EXPECT_EQ(s.agent.connections(), 2);
}

TEST(AgentSession, ClassicAgentIsTooOldWhetherItListsRootsOrSendsNothing)
{
    for (const std::string& classic : {std::string("1a2b Ljava/lang/String; \n3 [I \n"), std::string()}) {
        Session s;
        s.agent.queueListing(classic);
        const ClientError e = s.session.open();
        EXPECT_EQ(e.failure, Failure::tooOld);
        EXPECT_EQ(e.message, "the agent on port " + std::to_string(s.agent.port()) +
                                 " is too old: it knows only the classic p/e/q commands");
        EXPECT_FALSE(s.session.isOpen());
        EXPECT_EQ(s.agent.requests().size(), 1u);  // hello only, never the request itself
    }
}

TEST(AgentSession, AnotherServerOnThePortIsNamedAsNoAgent)
{
    // A web server (only the 32 bytes of a header are read), a server that writes a few
    // bytes and closes, and one whose header is well formed but whose body is neither
    // framed nor a classic listing.
    const std::vector<std::pair<ScriptedReply, std::string>> servers = {
        {{{"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n"}, true}, "\"HTTP/1.1 400 Bad Request  Conten\""},
        {{{"hi"}, true}, "\"hi\""},
        {{{reply("<html>not here</html>\n")}, false}, "\"<html>not here</html> \""},
    };
    for (const auto& [answer, quoted] : servers) {
        Session s;
        s.agent.queueReply(answer);
        const ClientError e = s.session.open();
        EXPECT_EQ(e.failure, Failure::notAgent) << e.message;
        EXPECT_EQ(e.message, "what listens on 127.0.0.1:" + std::to_string(s.agent.port()) +
                                 " is not a Vorlan agent: it answered hello with " + quoted);
        EXPECT_FALSE(s.session.isOpen());
    }
}

TEST(AgentSession, AServerThatClosesWithoutAWordIsNamed)
{
    Session s;
    s.agent.queueReply({{}, true});
    const ClientError e = s.session.open();
    EXPECT_EQ(e.failure, Failure::closed);
    EXPECT_NE(e.message.find("closed the connection without answering hello"), std::string::npos) << e.message;
}

// A listener that never accepts: the kernel completes the connection, and hello is
// never read. The attempt ends at the greeting's time-out, saying so.
TEST(AgentSession, ASilentListenerEndsAtTheGreetingsTimeOut)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const int port = ntohs(address.sin_port);

    AgentSession session(port, std::chrono::seconds(5), std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    const Result<Histogram> histo = session.histo({});
    const auto took = std::chrono::steady_clock::now() - start;
    ::close(fd);

    EXPECT_EQ(histo.error.failure, Failure::noAnswer);
    EXPECT_EQ(histo.error.message, "no answer to hello from 127.0.0.1:" + std::to_string(port) +
                                       " within 300 ms: what listens there is not a Vorlan agent, or its program is "
                                       "stopped or busy with another client's request");
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::milliseconds(3000));
    EXPECT_FALSE(session.isOpen());
}

TEST(AgentSession, NothingListeningIsUnreachable)
{
    AgentSession session(FakeAgent::unusedPort());
    const Result<PathReply> path = session.path({"1", false, {}});
    EXPECT_EQ(path.error.failure, Failure::unreachable);
    EXPECT_NE(path.error.message.find("Connection refused"), std::string::npos) << path.error.message;
}

TEST(AgentSession, AbortFromAnotherThreadEndsAStalledRequestAtOnce)
{
    Session s;
    s.agent.queueListing(kHello);
    s.agent.pause = std::chrono::milliseconds(1500);
    s.agent.queueReply({{FakeAgent::header(40), "ok\tpath\tfound=none\n"}});  // stalls after the header
    ASSERT_FALSE(s.session.open().failed());

    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        s.session.abort();
    });
    const auto start = std::chrono::steady_clock::now();
    const Result<PathReply> path = s.session.path({"1", true, 4});
    const auto took = std::chrono::steady_clock::now() - start;
    canceller.join();

    EXPECT_EQ(path.error.failure, Failure::aborted);
    EXPECT_LT(took, std::chrono::milliseconds(1000));
    EXPECT_FALSE(s.session.isOpen());
}

}  // namespace
