// vorlan-cli's listing of the local VMs: one aligned line per VM with where its agent
// listens or why none can be loaded, and the same as JSON.
#include "jvm_listing.h"

#include <gtest/gtest.h>

#include "json_reader.h"

namespace {

LocalJvm vm(long pid, const std::string& main, bool ours = true)
{
    LocalJvm jvm;
    jvm.process.pid = pid;
    jvm.mainClass = main;
    jvm.vmName = "OpenJDK 64-Bit Server VM";
    jvm.vmVersion = "17.0.15+6";
    jvm.user = ours ? "dev" : "alice";
    jvm.ours = ours;
    return jvm;
}

std::vector<LocalJvm> sample()
{
    LocalJvm withAgent = vm(4242, "com.example.Main");
    withAgent.agent.state = PortFileState::found;
    withAgent.agent.port = 40123;
    LocalJvm closed = vm(4300, "app.jar");
    closed.attachDisabled = true;
    LocalJvm foreign = vm(51234, "", false);
    foreign.vmVersion.clear();  // another user's performance data is not read
    return {withAgent, closed, foreign};
}

TEST(JvmListing, OneLinePerVmWithItsAgentOrWhyNone)
{
    EXPECT_EQ(jvmListText(sample()),
              "  PID  MAIN              JVM        AGENT\n"
              " 4242  com.example.Main  17.0.15+6  127.0.0.1:40123\n"
              " 4300  app.jar           17.0.15+6  - (attach disabled: -XX:+DisableAttachMechanism)\n"
              "51234  -                 -          another user's (alice)\n");
    EXPECT_EQ(jvmListText({}), "no Java VMs found (a VM started with -XX:-UsePerfData is not seen)\n");
}

TEST(JvmListing, JsonNamesThePortOrNull)
{
    const auto doc = readJson(jvmListJson(sample()));
    ASSERT_TRUE(doc);
    const auto& jvms = (*doc)["jvms"].items;
    ASSERT_EQ(jvms.size(), 3u);
    EXPECT_EQ(jvms[0]["pid"].number, 4242);
    EXPECT_EQ(jvms[0]["main"].text, "com.example.Main");
    EXPECT_EQ(jvms[0]["agent_port"].number, 40123);
    EXPECT_TRUE(jvms[0]["attachable"].flag);
    EXPECT_EQ(jvms[1]["agent_port"].kind, JsonValue::Null);
    EXPECT_FALSE(jvms[1]["attachable"].flag);
    EXPECT_EQ(jvms[2]["user"].text, "alice");
    EXPECT_FALSE(jvms[2]["attachable"].flag);
    EXPECT_EQ(readJson(jvmListJson({}))->operator[]("jvms").items.size(), 0u);
}

}  // namespace
