// Where the agent reads a plain instance's references straight from its fields instead
// of walking the heap, the listing must be exactly what the heap walk gives. The
// verifying build of the agent walks every such object both ways and reports any
// difference; this test expands thousands of objects of hundreds of classes with it.
#include <gtest/gtest.h>

#include <deque>
#include <set>

#include "agent_connection.h"
#include "jvm_process.h"

namespace {

size_t count_of(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) n++;
    return n;
}

TEST(DirectWalk, ListsExactlyWhatTheHeapWalkLists)
{
    int port = free_port();
    JvmLaunch launch;
    launch.agent_options = "port=" + std::to_string(port) + ",kind=0";
    launch.agent_library = VORLAN_VERIFY_AGENT;
    JvmProcess jvm(launch);
    ASSERT_TRUE(jvm.wait_for_output("ready")) << jvm.err();
    ASSERT_TRUE(jvm.wait_listening(port));

    AgentConnection c(port);
    std::deque<std::string> queue;
    std::set<std::string> seen;
    for (auto& l : c.request("p").lines())
        if (seen.insert(l.handle).second) queue.push_back(l.handle);
    size_t expanded = 0;
    while (!queue.empty() && expanded < 4000) {
        std::string h = queue.front();
        queue.pop_front();
        Reply r = c.request("e" + h);
        ASSERT_TRUE(r.complete);
        expanded++;
        for (auto& l : r.lines())
            if (seen.insert(l.handle).second) queue.push_back(l.handle);
    }
    std::string err = jvm.err();
    EXPECT_EQ(err.find("direct walk differs"), std::string::npos) << err.substr(err.find("direct walk differs"), 3000);
    size_t checked = count_of(err, "vorlanagt: direct walk checked\n");
    // The direct walk is chosen only on JDK 17; elsewhere every expansion walks the heap.
    if (!getenv("VORLAN_TEST_JAVA")) {
        EXPECT_GT(checked, 1000u) << "expanded " << expanded;
    }
    printf("direct walk: %zu of %zu expansions checked against the heap walk\n", checked, expanded);
}

}  // namespace
