// What a large expansion leaves behind once the client refreshes: handles listed before
// the refresh are forgotten (their tags off the VM), roots keep theirs, and the objects
// of handles still valid are found again.
#include <gtest/gtest.h>

#include "agent_connection.h"
#include "jvm_process.h"

namespace {

TEST(LastingCost, HandlesListedBeforeARefreshAreForgottenRootsStay)
{
    int port = free_port();
    JvmProcess jvm(JvmLaunch{"port=" + std::to_string(port) + ",debug=0", {"big", "20000"}, true, "HeapTarget", {}, {}, {}});
    ASSERT_TRUE(jvm.wait_for_output("ready")) << jvm.err();
    ASSERT_TRUE(jvm.wait_listening(port));
    AgentConnection c(port);
    auto roots = c.request("p").lines();
    std::string big;
    for (auto& l : roots)
        if (l.signature == "[Ljava/lang/Object;") big = l.handle;
    ASSERT_FALSE(big.empty());
    auto elements = c.expand(big).lines();
    ASSERT_EQ(elements.size(), 20001u);  // its class and every element
    const std::string element = elements[100].handle;
    // An element is found again from its array, and lists its class.
    ASSERT_EQ(c.expand(element).lines().size(), 1u);

    auto again = c.request("p").lines();
    ASSERT_EQ(again.size(), roots.size());
    for (size_t i = 0; i < roots.size(); i++) EXPECT_EQ(again[i].handle, roots[i].handle);
    EXPECT_TRUE(jvm.wait_for_output("forgot 20", true)) << jvm.err();
    // Forgotten: the empty listing of a handle that names nothing.
    Reply gone = c.expand(element);
    EXPECT_TRUE(gone.complete);
    EXPECT_EQ(gone.length, 0);
    // The array itself is a root: it lists its elements again, under new handles.
    auto relisted = c.expand(big).lines();
    ASSERT_EQ(relisted.size(), 20001u);
    // Its class still carries the class handle of this refresh's table.
    EXPECT_GE(std::stoul(relisted[0].handle, nullptr, 16), 0x40000000ul) << relisted[0].handle;
    EXPECT_NE(relisted[100].handle, element);
    EXPECT_EQ(c.expand(relisted[100].handle).lines().size(), 1u);
}

}  // namespace

// With every JNI call checked, the agent's work leaves no warning: local references
// stay within what each frame declares, and no exception is left pending.
TEST(CheckedJni, ClassicAndFramedRequestsLeaveNoWarning)
{
    int port = free_port();
    JvmLaunch launch;
    launch.agent_options = "port=" + std::to_string(port) + ",kind=0";
    launch.main_class = "ExploreTarget";
    launch.jvm_flags = {"-Xcheck:jni"};
    JvmProcess jvm(launch);
    ASSERT_TRUE(jvm.wait_for_output("ready")) << jvm.err();
    ASSERT_TRUE(jvm.wait_listening(port));
    AgentConnection c(port);
    auto roots = c.request("p").lines();
    ASSERT_GT(roots.size(), 100u);
    for (size_t i = 0; i < roots.size(); i += roots.size() / 50) c.expand(roots[i].handle);
    ASSERT_TRUE(c.request("p").complete);
    for (const char* line : {"VRL1 histo\n", "VRL1 instances\tExploreTarget$Fields\n", "VRL1 instances\tint[]\tlimit=5\n"}) {
        c.send_raw(line);
        EXPECT_TRUE(c.read_reply().complete) << line;
    }
    for (const auto& l : roots) {
        if (l.signature != "LExploreTarget$Fields;") continue;
        for (const char* verb : {"object", "referrers", "path"}) {
            c.send_raw(std::string("VRL1 ") + verb + "\t" + l.handle + "\n");
            EXPECT_TRUE(c.read_reply().complete) << verb;
        }
    }
    // The VM prints checked-JNI warnings on standard output.
    EXPECT_EQ(jvm.out().find("WARNING"), std::string::npos) << jvm.out();
    EXPECT_EQ(jvm.err().find("WARNING"), std::string::npos) << jvm.err();
}
