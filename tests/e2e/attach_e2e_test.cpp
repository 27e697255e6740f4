// Loading the agent into a running JVM with vorlan-attach.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "agent_connection.h"
#include "jvm_process.h"

namespace {

const std::string ATTACH = VORLAN_TOOLS_DIR "/vorlan-attach";

class AttachE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        jvm = std::make_unique<JvmProcess>(std::nullopt, std::vector<std::string>{}, false);
        ASSERT_TRUE(jvm->wait_for_output("ready")) << jvm->err();
        port = free_port();
    }

    CommandResult attach(const std::string& options, std::vector<std::string> extra = {},
                         const std::string& cwd = ".")
    {
        std::vector<std::string> argv = {ATTACH, "--agent", VORLAN_AGENT_PATH};
        for (auto& e : extra) argv.push_back(e);
        argv.push_back(std::to_string(jvm->pid()));
        if (!options.empty()) argv.push_back(options);
        return run_command(argv, cwd);
    }

    std::unique_ptr<JvmProcess> jvm;
    int port = 0;
};

TEST_F(AttachE2E, AttachedAgentServesAndQuits)
{
    CommandResult r = attach("port=" + std::to_string(port) + ",kind=1,debug=0");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "vorlan agent loaded into " + std::to_string(jvm->pid()) + "; it listens on 127.0.0.1:" +
                         std::to_string(port) + "\n");
    ASSERT_TRUE(jvm->wait_listening(port));
    // The whole option string reached the agent, not just what precedes the first "=".
    EXPECT_TRUE(jvm->wait_for_output("i=3\n", true)) << jvm->err();

    AgentConnection c(port);
    Reply roots = c.request("p");
    const ListingLine* holder = nullptr;
    auto lines = roots.lines();
    for (auto& l : lines)
        if (l.signature == "LPinnedHolder;") holder = &l;
    ASSERT_NE(holder, nullptr) << roots.body;
    EXPECT_EQ(c.expand(holder->handle).lines().size(), 4u);
    c.send_raw("q");
    EXPECT_TRUE(c.closed_by_peer());
    EXPECT_EQ(jvm->wait_exit(30000), 0);
}

TEST_F(AttachE2E, SecondAttachIsRefusedAndTheFirstServesOn)
{
    ASSERT_EQ(attach("port=" + std::to_string(port)).status, 0);
    ASSERT_TRUE(jvm->wait_listening(port));
    CommandResult again = attach("port=" + std::to_string(free_port()));
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("vorlan-attach: loading the agent into"), std::string::npos) << again.err;
    EXPECT_TRUE(jvm->wait_for_output("vorlanagt: already loaded in this VM (port " + std::to_string(port) + ")", true))
        << jvm->err();
    AgentConnection c(port);
    EXPECT_TRUE(c.request("p").complete);
}

TEST_F(AttachE2E, RelativeLibraryPathIsResolvedAgainstTheCallersDirectory)
{
    std::filesystem::path lib(VORLAN_AGENT_PATH);
    std::vector<std::string> argv = {ATTACH, "--agent", "./" + lib.filename().string(),
                                     std::to_string(jvm->pid()), "port=" + std::to_string(port)};
    CommandResult r = run_command(argv, lib.parent_path().string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(jvm->wait_listening(port));
}

TEST_F(AttachE2E, BadArgumentsFailWithOneClearLine)
{
    CommandResult none = run_command({ATTACH, "--agent", VORLAN_AGENT_PATH, "999999999"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "vorlan-attach: no process with id 999999999\n");

    CommandResult word = run_command({ATTACH, "abc"});
    EXPECT_EQ(word.status, 1);
    EXPECT_EQ(word.err, "vorlan-attach: 'abc' is not a process id\n");

    CommandResult missing = attach("", {"--agent", "no/such/libvorlanagt.so"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no agent library at 'no/such/libvorlanagt.so'"), std::string::npos) << missing.err;

    CommandResult usage = run_command({ATTACH});
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("usage: vorlan-attach"), std::string::npos);
    EXPECT_TRUE(jvm->running());
}

TEST(AttachOnLoaded, AgentLoadedAtStartRefusesAnAttach)
{
    int port = free_port();
    JvmProcess jvm("port=" + std::to_string(port));
    ASSERT_TRUE(jvm.wait_for_output("ready"));
    CommandResult r = run_command({ATTACH, "--agent", VORLAN_AGENT_PATH, std::to_string(jvm.pid())});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(jvm.wait_for_output("vorlanagt: already loaded in this VM", true));
    AgentConnection c(port);
    EXPECT_TRUE(c.request("p").complete);
}

}  // namespace
