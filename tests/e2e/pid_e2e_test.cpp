// A pid is enough: vorlan-cli and vorlan-attach find the agent in a real JVM by its port
// file, or load it there on a port the system picks; stale and foreign port files are
// not believed; VMs that cannot take the agent say why in one line.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "../cli/json_reader.h"
#include "hotspot_attach.h"
#include "jvm_process.h"

namespace {

const std::string CLI = VORLAN_TOOLS_DIR "/vorlan-cli";
const std::string ATTACH = VORLAN_TOOLS_DIR "/vorlan-attach";

std::string port_file(pid_t pid)
{
    return "/tmp/.vorlan_pid" + std::to_string(pid);
}

// The port a port file names; 0 when there is none.
int port_in_file(pid_t pid)
{
    std::istringstream text(read_file(port_file(pid)));
    for (std::string line; std::getline(text, line);)
        if (line.rfind("port=", 0) == 0) return std::stoi(line.substr(5));
    return 0;
}

// The process's name as the kernel gives it, without the line end.
std::string read_comm(const std::string& pid)
{
    std::string comm = read_file("/proc/" + pid + "/comm");
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    return comm;
}

std::string start_ticks(pid_t pid)
{
    const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::string field;
    for (int i = 0; i < 20; i++) fields >> field;
    return field;
}

// A listener that stands where a forged port file points: whatever connects to it was
// fooled by the file.
class Decoy {
public:
    Decoy() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0))
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t length = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        listen(fd_, 4);
    }
    ~Decoy() { close(fd_); }
    int port() const { return port_; }
    bool connected_to()
    {
        const int client = accept(fd_, nullptr, nullptr);
        if (client < 0) return false;
        close(client);
        return true;
    }

private:
    int fd_;
    int port_ = 0;
};

class PidE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (access(CLI.c_str(), X_OK) != 0) GTEST_SKIP() << "vorlan-cli not built";
    }

    static std::unique_ptr<JvmProcess> start_jvm(std::vector<std::string> flags = {})
    {
        JvmLaunch launch;
        launch.load_agent = false;
        launch.jvm_flags = std::move(flags);
        auto jvm = std::make_unique<JvmProcess>(launch);
        EXPECT_TRUE(jvm->wait_for_output("ready")) << jvm->err();
        return jvm;
    }

    static CommandResult cli(std::vector<std::string> args)
    {
        args.insert(args.begin(), CLI);
        return run_command(args);
    }
};

TEST_F(PidE2E, TwoVmsEachGetTheirOwnAgentOnAPortTheSystemPicks)
{
    auto first = start_jvm();
    auto second = start_jvm();
    for (JvmProcess* jvm : {first.get(), second.get()}) {
        const std::string pid = std::to_string(jvm->pid());
        CommandResult r = cli({pid, "find", "PinnedHolder"});
        ASSERT_EQ(r.status, 0) << r.err << jvm->err();
        EXPECT_NE(r.out.find("PinnedHolder"), std::string::npos) << r.out;
        struct stat st {};
        ASSERT_EQ(lstat(port_file(jvm->pid()).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(st.st_uid, geteuid());
        EXPECT_TRUE(jvm->wait_listening(port_in_file(jvm->pid())));
    }
    const int first_port = port_in_file(first->pid()), second_port = port_in_file(second->pid());
    EXPECT_NE(first_port, second_port);
    EXPECT_NE(first_port, 12345);

    // Found again by the file: no second load (which the agent would refuse aloud).
    CommandResult again = cli({"--pid", std::to_string(first->pid()), "histo", "--top", "1"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(first->err().find("already loaded"), std::string::npos) << first->err();

    // The listing names both, with their main class, VM version and agent port.
    CommandResult list = cli({"--json"});
    ASSERT_EQ(list.status, 0) << list.err;
    const auto doc = readJson(list.out);
    ASSERT_TRUE(doc) << list.out;
    int seen = 0;
    for (const auto& jvm : (*doc)["jvms"].items) {
        const std::string pid = std::to_string(static_cast<long>(jvm["pid"].number));
        if (pid != std::to_string(first->pid()) && pid != std::to_string(second->pid())) continue;
        ++seen;
        EXPECT_EQ(jvm["main"].text, "HeapTarget");
        EXPECT_FALSE(jvm["version"].text.empty());
        const int port = pid == std::to_string(first->pid()) ? first_port : second_port;
        EXPECT_EQ(jvm["agent_port"].number, port);
    }
    EXPECT_EQ(seen, 2) << list.out;
    CommandResult text = cli({});
    EXPECT_NE(text.out.find("HeapTarget"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("127.0.0.1:" + std::to_string(second_port)), std::string::npos) << text.out;

    // The file goes with its VM.
    EXPECT_EQ(cli({std::to_string(first->pid()), "quit"}).status, 0);
    EXPECT_EQ(first->wait_exit(30000), 0);
    EXPECT_NE(access(port_file(first->pid()).c_str(), F_OK), 0);
}

TEST_F(PidE2E, AnAgentStartedWithTheVmIsFoundByItsPid)
{
    const int port = free_port();
    JvmProcess jvm("port=" + std::to_string(port));
    ASSERT_TRUE(jvm.wait_for_output("ready"));
    ASSERT_TRUE(jvm.wait_listening(port));
    EXPECT_EQ(port_in_file(jvm.pid()), port);
    CommandResult r = cli({std::to_string(jvm.pid()), "roots"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(jvm.err().find("already loaded"), std::string::npos) << jvm.err();
}

TEST_F(PidE2E, AttachWithoutAPortNamesThePortTheSystemPicked)
{
    auto jvm = start_jvm();
    CommandResult r = run_command({ATTACH, std::to_string(jvm->pid())});
    ASSERT_EQ(r.status, 0) << r.err << jvm->err();
    const int port = port_in_file(jvm->pid());
    ASSERT_GT(port, 0);
    EXPECT_EQ(r.out, "vorlan agent loaded into " + std::to_string(jvm->pid()) + "; it listens on 127.0.0.1:" +
                         std::to_string(port) + "\n");
    // A second load is refused, and the message says where the first one listens.
    CommandResult again = run_command({ATTACH, std::to_string(jvm->pid())});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("listens on 127.0.0.1:" + std::to_string(port)), std::string::npos) << again.err;
}

TEST_F(PidE2E, AStalePortFileIsNotBelievedAndIsCleanedAway)
{
    // A VM killed outright leaves its file; the listing sweeps it.
    auto killed = start_jvm();
    ASSERT_EQ(cli({std::to_string(killed->pid()), "histo", "--top", "1"}).status, 0);
    const pid_t dead = killed->pid();
    kill(dead, SIGKILL);
    killed->wait_exit(30000);
    ASSERT_EQ(access(port_file(dead).c_str(), F_OK), 0) << "SIGKILL leaves the file behind";
    EXPECT_EQ(cli({}).status, 0);
    EXPECT_NE(access(port_file(dead).c_str(), F_OK), 0);

    // A file that a reused pid inherits names a port the VM does not listen on: it is not
    // connected to, and the agent is loaded instead.
    auto jvm = start_jvm();
    Decoy decoy;
    { std::ofstream(port_file(jvm->pid())) << "port=" << decoy.port() << "\nstart=1\n"; }
    CommandResult r = cli({std::to_string(jvm->pid()), "histo", "--top", "1"});
    EXPECT_EQ(r.status, 0) << r.err << jvm->err();
    EXPECT_FALSE(decoy.connected_to());
    EXPECT_NE(port_in_file(jvm->pid()), decoy.port());
    EXPECT_NE(read_file(port_file(jvm->pid())).find("start=" + start_ticks(jvm->pid()) + "\n"), std::string::npos);
}

TEST_F(PidE2E, AnotherUsersPortFileIsNeverRead)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
    auto jvm = start_jvm();
    Decoy decoy;
    const std::string path = port_file(jvm->pid());
    { std::ofstream(path) << "port=" << decoy.port() << "\nstart=" << start_ticks(jvm->pid()) << "\n"; }
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    CommandResult r = cli({std::to_string(jvm->pid()), "histo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vorlan-cli: " + path + " belongs to another user, so it is not read\n");
    EXPECT_FALSE(decoy.connected_to());
    unlink(path.c_str());
}

TEST_F(PidE2E, VmsThatCannotTakeTheAgentSayWhyInOneLine)
{
    // Attach turned off: known from the VM's own data, so no SIGQUIT is sent (it would
    // print a thread dump) and nothing is waited for.
    auto closed = start_jvm({"-XX:+DisableAttachMechanism"});
    const std::string pid = std::to_string(closed->pid());
    CommandResult r = cli({pid, "histo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vorlan-cli: process " + pid +
                         " (java) was started with -XX:+DisableAttachMechanism, so nothing can be loaded into it "
                         "while it runs; start it with -agentpath:" +
                         std::string(VORLAN_TOOLS_DIR).substr(0, std::string(VORLAN_TOOLS_DIR).rfind('/')) +
                         "/agent/libvorlanagt.so instead\n");
    EXPECT_EQ(closed->out().find("Full thread dump"), std::string::npos) << closed->out();
    CommandResult attach = run_command({ATTACH, pid});
    EXPECT_EQ(attach.status, 1);
    EXPECT_NE(attach.err.find("vorlan-attach: process " + pid + " (java) was started with -XX:+Disable"),
              std::string::npos) << attach.err;
    EXPECT_TRUE(closed->running());

    // Not a Java VM: it must not get the SIGQUIT that would end it.
    CommandResult other = run_command({"/bin/sh", "-c", "sleep 30 & echo $!"});
    const std::string sleeper = other.out.substr(0, other.out.find('\n'));
    // The shell's child is named sleep only once it has executed it.
    for (int i = 0; i < 200 && read_comm(sleeper) != "sleep"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    CommandResult notJava = cli({sleeper, "roots"});
    EXPECT_EQ(notJava.status, 1);
    EXPECT_NE(notJava.err.find("process " + sleeper + " (sleep) is not a HotSpot Java VM"), std::string::npos)
        << notJava.err;
    EXPECT_EQ(kill(std::stoi(sleeper), 0), 0) << "the sleeper was signalled to death";
    kill(std::stoi(sleeper), SIGKILL);

    CommandResult gone = cli({"999999999", "roots"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.err, "vorlan-cli: no process with id 999999999\n");
}

// What a later heap capture needs: any diagnostic command, a heap dump among them,
// through the same attach mechanism, and its failures as one sentence.
// What a VM killed before it could remove its attach socket leaves at the path a later
// process of the same pid is asked through: a socket nobody listens on.
void leaveStaleSocket(const std::string& path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    unlink(path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
}

TEST_F(PidE2E, AnAttachSocketLeftByAnEarlierProcessOfThePidIsNotBelieved)
{
    auto jvm = start_jvm();
    const std::string socketPath = "/tmp/.java_pid" + std::to_string(jvm->pid());
    leaveStaleSocket(socketPath);
    const AttachResult histogram = runDiagnosticCommand(jvm->pid(), "GC.class_histogram");
    ASSERT_TRUE(histogram.ok()) << histogram.message;
    EXPECT_NE(histogram.reply.output.find("PinnedHolder"), std::string::npos) << histogram.reply.output;

    CommandResult other = run_command({"/bin/sh", "-c", "sleep 30 & echo $!"});
    const std::string sleeper = other.out.substr(0, other.out.find('\n'));
    for (int i = 0; i < 200 && read_comm(sleeper) != "sleep"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    leaveStaleSocket("/tmp/.java_pid" + sleeper);
    CommandResult notJava = cli({sleeper, "roots"});
    EXPECT_NE(notJava.err.find("process " + sleeper + " (sleep) is not a HotSpot Java VM"), std::string::npos)
        << notJava.err;
    EXPECT_EQ(kill(std::stoi(sleeper), 0), 0) << "the sleeper was signalled to death";
    kill(std::stoi(sleeper), SIGKILL);
}

TEST_F(PidE2E, DiagnosticCommandsRunThroughTheAttachMechanism)
{
    auto jvm = start_jvm();
    const AttachResult histogram = runDiagnosticCommand(jvm->pid(), "GC.class_histogram");
    ASSERT_TRUE(histogram.ok()) << histogram.message;
    EXPECT_NE(histogram.reply.output.find("PinnedHolder"), std::string::npos) << histogram.reply.output;

    char dir[] = "/tmp/vorlan-dump-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string dump = std::string(dir) + "/heap.hprof";
    const AttachResult dumped = runDiagnosticCommand(jvm->pid(), "GC.heap_dump " + dump);
    ASSERT_TRUE(dumped.ok()) << dumped.message;
    EXPECT_EQ(read_file(dump).substr(0, 18), "JAVA PROFILE 1.0.2");
    unlink(dump.c_str());
    rmdir(dir);

    const AttachResult unknown = runDiagnosticCommand(jvm->pid(), "No.such_command");
    EXPECT_EQ(unknown.failure, AttachFailure::refused);
    EXPECT_NE(unknown.message.find("No.such_command"), std::string::npos) << unknown.message;
    EXPECT_TRUE(jvm->running());

    // A stopped VM would never answer: said at once instead of waited for.
    kill(jvm->pid(), SIGSTOP);
    for (int i = 0; i < 100 && read_file("/proc/" + std::to_string(jvm->pid()) + "/stat").find(") T ") ==
                              std::string::npos; i++)
        usleep(10000);
    const AttachResult stopped = runDiagnosticCommand(jvm->pid(), "VM.version");
    kill(jvm->pid(), SIGCONT);
    EXPECT_EQ(stopped.failure, AttachFailure::stopped);
    EXPECT_NE(stopped.message.find("kill -CONT " + std::to_string(jvm->pid())), std::string::npos) << stopped.message;
}

TEST_F(PidE2E, AnotherUsersVmIsRefusedBeforeAnythingIsSent)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv";
    auto jvm = start_jvm();
    // nobody must be able to reach the program: a build under a private home cannot be run.
    CommandResult probe = run_command({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                       CLI, "--version"});
    if (probe.status != 0) GTEST_SKIP() << "vorlan-cli cannot be run as nobody here: " << probe.err;
    CommandResult r = run_command({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", CLI,
                                   std::to_string(jvm->pid()), "histo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vorlan-cli: process " + std::to_string(jvm->pid()) +
                         " belongs to user root, and a VM lets only its own user attach: run this as root\n");
    EXPECT_NE(access(port_file(jvm->pid()).c_str(), F_OK), 0);
    EXPECT_EQ(jvm->out().find("Full thread dump"), std::string::npos);
}

}  // namespace
