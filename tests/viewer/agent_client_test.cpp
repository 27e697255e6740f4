#include "agent_client.h"

#include <gtest/gtest.h>

#include "fake_agent.h"

namespace {

std::vector<std::string> toStrings(const ReplyLines& lines)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); ++i)
        out.emplace_back(lines[i]);
    return out;
}

// A client connected to the fake agent, tracing into log.
struct Connected {
    FakeAgent agent;
    std::string log;
    AgentClient client{agent.port()};

    Connected()
    {
        client.setTrace(TraceLog(1, [this](std::string_view text) { log += text; }));
        client.connectIfNeeded();
    }
};

// n listing lines of 19 bytes each with distinct handles.
std::string listing(size_t n)
{
    std::string body;
    for (size_t i = 0; i < n; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "%08zx Ljava/a; \n", i + 1);
        body += line;
    }
    return body;
}

TEST(TcpPort, TakesTheLowSixteenBits)
{
    EXPECT_EQ(tcpPort(12345), 12345);
    EXPECT_EQ(tcpPort(65536 + 80), 80);
    EXPECT_EQ(tcpPort(-1), 65535);
}

TEST(AgentClient, RootListingRequestIsTheSingleByteP)
{
    Connected c;
    EXPECT_EQ(c.log, "connect\r\nsockconnect=1\r\n");
    c.agent.queueListing("1a2b Ljava/lang/String; \n3 [I \n");

    const ReplyLines lines = c.client.getClasses('p', {});

    EXPECT_EQ(toStrings(lines), (std::vector<std::string>{"1a2b Ljava/lang/String; ", "3 [I "}));
    EXPECT_EQ(c.client.strcnt(), 2);
    const auto requests = c.agent.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].command, "p");
    EXPECT_EQ(requests[0].handle, "");
}

TEST(AgentClient, ReferenceRequestSendsEThenTheBareHandleText)
{
    Connected c;
    c.agent.queueListing("40000001 Ljava/lang/Class; \n");
    c.client.getClasses('e', "1a2b");
    c.agent.queueListing("");
    c.client.getClasses('e', "7fffffff");

    const auto requests = c.agent.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].command, "e");
    EXPECT_EQ(requests[0].handle, "1a2b");  // no terminator, no line feed
    EXPECT_EQ(requests[1].handle, "7fffffff");
    EXPECT_EQ(c.client.strcnt(), 0);
}

TEST(AgentClient, HeaderInPiecesIsReadWhole)
{
    Connected c;
    const std::string body = "5 J \n";
    const std::string header = FakeAgent::header(body.size());
    c.agent.queueReply({{header.substr(0, 1), header.substr(1, 10), header.substr(11) + body}});

    const ReplyLines lines = c.client.getClasses('p', {});
    EXPECT_EQ(toStrings(lines), (std::vector<std::string>{"5 J "}));
    // The stream stays in step: the next reply is read from its own header.
    c.agent.queueListing("6 Z \n");
    EXPECT_EQ(toStrings(c.client.getClasses('p', {})), (std::vector<std::string>{"6 Z "}));
}

TEST(AgentClient, LargeBodyTakesSeveralReceivesJoinedInOrder)
{
    Connected c;
    const std::string body = listing(200);
    ASSERT_EQ(body.size(), 3800u);
    c.agent.queueListing(body);

    const ReplyLines lines = c.client.getClasses('p', {});
    ASSERT_EQ(lines.size(), 200u);
    EXPECT_EQ(lines[0], "00000001 Ljava/a; ");
    EXPECT_EQ(lines[53], "00000036 Ljava/a; ");  // straddles the first 1023-byte chunk
    EXPECT_EQ(lines[199], "000000c8 Ljava/a; ");
    EXPECT_NE(c.log.find("1023 bytes received.\r\nnext \n2046 bytes received.\r\nnext \n"), std::string::npos);
    EXPECT_NE(c.log.find("3069 bytes received.\r\nnext \n3800 bytes received.\r\n3800 bytes received.\r\n"), std::string::npos);
}

TEST(AgentClient, ReplyInThreeReceivesTracesEachRunningTotal)
{
    Connected c;
    c.log.clear();
    const std::string body = "1a2b Ljava/lang/String; \n3 [I \n";
    c.agent.queueReply({{FakeAgent::header(body.size()) + body.substr(0, 10), body.substr(10, 10), body.substr(20)}});

    const ReplyLines lines = c.client.getClasses('p', {});

    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(c.log,
              "getClasses\r\n"
              "31 bytes will be received.\r\n"
              "init: total=0\r\n"
              "10 bytes received.\r\nnext \n"
              "20 bytes received.\r\nnext \n"
              "31 bytes received.\r\n"
              "31 bytes received.\r\n");
}

TEST(AgentClient, ConnectionClosedMidBodyKeepsCompleteLines)
{
    Connected c;
    c.agent.queueReply({{FakeAgent::header(100) + "1 I \n2 J \n3 Ljava/la"}, true});

    const ReplyLines lines = c.client.getClasses('p', {});

    EXPECT_EQ(toStrings(lines), (std::vector<std::string>{"1 I ", "2 J "}));
    EXPECT_EQ(c.client.strcnt(), 2);
    EXPECT_NE(c.log.find("20 bytes received.\r\nnext \n20 bytes received.\r\n20 bytes received.\r\n"), std::string::npos);
}

TEST(AgentClient, ZeroOrNonNumericHeaderMakesNoBodyReceive)
{
    for (const char* header : {"0", "abc"}) {
        Connected c;
        c.log.clear();
        c.agent.queueReply({{FakeAgent::header(header) + "1 I \n"}});
        EXPECT_TRUE(c.client.getClasses('p', {}).empty());
        EXPECT_EQ(c.client.strcnt(), 0);
        EXPECT_EQ(c.log, "getClasses\r\n0 bytes will be received.\r\n");
    }
}

TEST(AgentClient, NoAgentGivesEmptyRepliesAndRetriesOnANewSocket)
{
    std::string log;
    AgentClient client(FakeAgent::unusedPort());
    client.setTrace(TraceLog(1, [&log](std::string_view text) { log += text; }));

    client.connectIfNeeded();
    EXPECT_FALSE(client.connected());
    EXPECT_TRUE(client.getClasses('p', {}).empty());
    EXPECT_TRUE(client.getClasses('e', "1a2b").empty());
    client.disconnectJvmti();
    EXPECT_EQ(log,
              "connect\r\nsockconnect=0\r\n"
              "getClasses\r\n0 bytes will be received.\r\n"
              "getClasses\r\n0 bytes will be received.\r\n"
              "send 'q' start.\r\nsend 'q' end.\r\nclient end.\r\n");

    // Once an agent listens on the configured port, the next attempt finds it.
    FakeAgent agent;
    client.setPort(agent.port() + 65536);
    client.connectIfNeeded();
    EXPECT_TRUE(client.connected());
    agent.queueListing("9 C \n");
    EXPECT_EQ(client.getClasses('p', {}).size(), 1u);
}

TEST(AgentClient, AgentGoneAfterConnectingNeitherReconnectsNorKillsTheViewer)
{
    Connected c;
    c.agent.queueReply({{}, true});  // the agent drops the connection on the first request

    EXPECT_TRUE(c.client.getClasses('p', {}).empty());
    // Sends into the dropped connection fail quietly, without SIGPIPE.
    c.client.connectIfNeeded();
    EXPECT_TRUE(c.client.getClasses('e', "1").empty());
    EXPECT_TRUE(c.client.getClasses('p', {}).empty());
    c.client.disconnectJvmti();
    EXPECT_TRUE(c.client.connected());
    EXPECT_EQ(c.agent.connections(), 1);
}

TEST(AgentClient, DisconnectSendsQAndReadsNothing)
{
    Connected c;
    c.log.clear();
    c.client.disconnectJvmti();

    ASSERT_TRUE(c.agent.waitForRequests(1));
    const auto requests = c.agent.requests();
    EXPECT_EQ(requests[0].command, "q");
    EXPECT_EQ(c.log, "send 'q' start.\r\nsend 'q' end.\r\nclient end.\r\n");
}

}  // namespace
