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
    EXPECT_NE(relisted[100].handle, element);
    EXPECT_EQ(c.expand(relisted[100].handle).lines().size(), 1u);
}

}  // namespace
