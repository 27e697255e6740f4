// An agent whose VM gives it no JVMTI environment for its class catalog (simulated by
// the test build's VORLAN_TEST_NO_CATALOG): the framed requests that need the catalog
// say why they cannot be answered, and the classic commands serve on, finding objects
// by their tags where the catalog would have read them from their holders.
#include <gtest/gtest.h>

#include "agent_connection.h"
#include "jvm_process.h"
#include "records.h"

namespace {

FramedReply framed(AgentConnection& c, const std::string& line)
{
    c.send_raw("VRL1 " + line + "\n");
    Reply r = c.read_reply();
    FramedReply out;
    EXPECT_TRUE(r.complete) << line;
    EXPECT_TRUE(readFramedReply(r.body, out)) << r.body;
    return out;
}

TEST(NoClassCatalog, FramedRequestsSayWhyAndTheClassicCommandsServeOn)
{
    const int port = free_port();
    JvmLaunch launch;
    launch.agent_options = "port=" + std::to_string(port);
    launch.program_args = {"big", "50"};
    launch.agent_library = VORLAN_VERIFY_AGENT;
    launch.environment = {{"VORLAN_TEST_NO_CATALOG", "1"}};
    JvmProcess jvm(launch);
    ASSERT_TRUE(jvm.wait_for_output("ready")) << jvm.err();
    ASSERT_TRUE(jvm.wait_listening(port)) << jvm.err();
    EXPECT_NE(jvm.err().find("only the classic commands are served"), std::string::npos) << jvm.err();

    AgentConnection c(port);
    auto roots = c.request("p").lines();
    std::string holder, array;
    for (const auto& l : roots) {
        if (l.signature == "LPinnedHolder;") holder = l.handle;
        if (l.signature == "[Ljava/lang/Object;") array = l.handle;
    }
    ASSERT_FALSE(holder.empty());
    ASSERT_FALSE(array.empty());

    // The elements come from the heap walk: each is found again through its array,
    // which the catalog would have read; without it, by its tag.
    auto elements = c.expand(array).lines();
    ASSERT_EQ(elements.size(), 51u);  // its class and every element
    for (size_t i = 1; i < elements.size(); i += 10) {
        auto element = c.expand(elements[i].handle).lines();
        ASSERT_EQ(element.size(), 1u) << elements[i].handle;
        EXPECT_EQ(element[0].signature, "Ljava/lang/Object;");  // its class
    }
    auto fields = c.expand(holder).lines();
    EXPECT_GE(fields.size(), 4u);  // its class, name, numbers and itself
    for (const auto& f : fields) EXPECT_TRUE(c.expand(f.handle).complete) << f.signature;

    EXPECT_TRUE(framed(c, "hello").status.ok);
    FramedReply object = framed(c, "object\t" + holder);
    EXPECT_FALSE(object.status.ok);
    EXPECT_EQ(object.status.code, "jvm");
    EXPECT_NE(object.status.message.find("only the classic commands"), std::string::npos) << object.status.message;
    EXPECT_NE(object.status.message.find("no JVMTI environment for the class catalog"), std::string::npos)
        << object.status.message;
    for (const char* line : {"roots", "instances\tPinnedHolder", "referrers\t1", "path\t1", "histo\twalk=1"})
        EXPECT_EQ(framed(c, line).status.code, "jvm") << line;
    // The VM's own histogram needs no catalog.
    EXPECT_TRUE(framed(c, "histo\tlimit=1").status.ok);
    EXPECT_TRUE(jvm.running());
}

}  // namespace
