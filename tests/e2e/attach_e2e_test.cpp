// Loading the agent into a running JVM with vorlan-attach.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
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

TEST_F(AttachE2E, PortTakenFailsWithTheReasonAndALaterAttachServes)
{
    // Something else listens on the port.
    int taken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    CommandResult r = attach("port=" + std::to_string(port));
    close(taken);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cannot listen on 127.0.0.1:" + std::to_string(port) + ": Address already in use"),
              std::string::npos) << r.err;
    // The agent stays loaded without a server; a load on a free port starts one.
    int other = free_port();
    CommandResult again = attach("port=" + std::to_string(other));
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("it listens on 127.0.0.1:" + std::to_string(other)), std::string::npos);
    AgentConnection c(other);
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

namespace {

const std::string CLI = VORLAN_TOOLS_DIR "/vorlan-cli";

CommandResult cli(int port, std::vector<std::string> args)
{
    std::vector<std::string> argv = {CLI, "--port", std::to_string(port)};
    for (auto& a : args) argv.push_back(a);
    return run_command(argv);
}

// The handle printed in front of a type name in vorlan-cli's output.
std::string handle_before(const std::string& out, const std::string& type)
{
    size_t at = out.find("  " + type + "\n");
    if (at == std::string::npos) return "";
    size_t line = out.rfind('\n', at);
    line = line == std::string::npos ? 0 : line + 1;
    std::string handle = out.substr(line, at - line);
    return handle.substr(0, handle.find(' '));
}

TEST_F(AttachE2E, TerminalClientBrowsesAnAttachedProgramAndEndsIt)
{
    if (access(CLI.c_str(), X_OK) != 0) GTEST_SKIP() << "vorlan-cli not built";
    ASSERT_EQ(attach("port=" + std::to_string(port)).status, 0);
    ASSERT_TRUE(jvm->wait_listening(port));

    CommandResult roots = cli(port, {"roots"});
    ASSERT_EQ(roots.status, 0) << roots.err;
    std::string holder = handle_before(roots.out, "PinnedHolder");
    ASSERT_FALSE(holder.empty()) << roots.out;

    CommandResult refs = cli(port, {"expand", holder});
    ASSERT_EQ(refs.status, 0) << refs.err;
    for (const char* type : {"  PinnedHolder\n", "  java/lang/String\n", "  int[]\n"})
        EXPECT_NE(refs.out.find(type), std::string::npos) << type << " in\n" << refs.out;
    EXPECT_EQ(std::count(refs.out.begin(), refs.out.end(), '\n'), 4);

    CommandResult raw = cli(port, {"--raw", "expand", holder});
    EXPECT_NE(raw.out.find(holder + " LPinnedHolder; \n"), std::string::npos) << raw.out;
    EXPECT_NE(raw.out.find(" [I \n"), std::string::npos) << raw.out;

    // The holder refers to itself: printed once more on its own path, not expanded.
    CommandResult tree = cli(port, {"tree", "--depth", "2", holder});
    ASSERT_EQ(tree.status, 0) << tree.err;
    EXPECT_EQ(tree.out.rfind(holder + "\n", 0), 0u) << tree.out;
    EXPECT_NE(tree.out.find("  PinnedHolder  (already above)\n"), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("\n    "), std::string::npos) << "no second level:\n" << tree.out;

    CommandResult whole = cli(port, {"tree", "--depth", "1"});
    ASSERT_EQ(whole.status, 0);
    EXPECT_NE(whole.out.find("\n  "), std::string::npos) << whole.out;

    CommandResult unknown = cli(port, {"expand", "7ffffff0"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "vorlan-cli: no object with handle 7ffffff0 (handles come from a roots listing)\n");

    CommandResult quit = cli(port, {"quit"});
    EXPECT_EQ(quit.status, 0) << quit.err;
    EXPECT_EQ(jvm->wait_exit(30000), 0);

    CommandResult gone = cli(port, {"roots"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.err, "vorlan-cli: cannot reach the agent on 127.0.0.1:" + std::to_string(port) + "\n");
}

}  // namespace
