// Knowing a local VM without talking to it: /proc's texts, the port file an agent writes
// (found, stale, another user's, a link), whether attach is off, and the attach
// mechanism's request and reply.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "agent_port_file.h"
#include "hotspot_attach.h"
#include "local_jvms.h"
#include "process_info.h"

namespace {

// A literal with its NUL bytes.
template <size_t N>
std::string bytes(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

TEST(ProcessText, StatusAndStatAreReadAsTheKernelWritesThem)
{
    const std::string status =
        "Name:\tjava\nUmask:\t0022\nState:\tS (sleeping)\nTgid:\t4242\nNgid:\t0\nPid:\t4242\n"
        "Uid:\t1000\t1001\t1001\t1001\nGid:\t1000\t1000\t1000\t1000\nNSpid:\t4242\t7\n"
        "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\nSigCgt:\t2000000181005ccf\n";
    ProcessInfo info;
    ASSERT_TRUE(readStatusText(status, 4242, info));
    EXPECT_EQ(info.uid, 1001u);  // the effective one
    EXPECT_EQ(info.namespacePid, 7);
    EXPECT_TRUE(info.catchesQuit);

    // SIGQUIT ignored, or not caught at all: not to be sent.
    ProcessInfo ignored;
    ASSERT_TRUE(readStatusText("Uid:\t0\t0\t0\t0\nSigIgn:\t0000000000000004\nSigCgt:\t0000000000000004\n", 9, ignored));
    EXPECT_FALSE(ignored.catchesQuit);
    EXPECT_EQ(ignored.namespacePid, 9);  // a kernel without NSpid: the pid itself
    ProcessInfo plain;
    ASSERT_TRUE(readStatusText("Uid:\t0\t0\t0\t0\nSigCgt:\t0000000000010002\n", 9, plain));
    EXPECT_FALSE(plain.catchesQuit);
    EXPECT_FALSE(readStatusText("Name:\tx\n", 9, plain));

    EXPECT_EQ(startTicksOfStat("4242 (a) b) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 555 19"), 555u);
    EXPECT_EQ(startTicksOfStat("4242 (java) S 1"), 0u);
    EXPECT_EQ(stateOfStat("4242 (a) T) T 1 2"), 'T');
    EXPECT_EQ(stateOfStat("4242 (java)"), '?');
}

TEST(ProcessText, TheRunningProcessIsReadWholeAndAGoneOneNotAtAll)
{
    const auto self = readProcess(getpid());
    ASSERT_TRUE(self);
    EXPECT_EQ(self->uid, geteuid());
    EXPECT_GT(self->startTicks, 0u);
    EXPECT_FALSE(self->commandLine.empty());

    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(readProcess(child));
    EXPECT_FALSE(readProcess(0));
}

TEST(AttachMechanism, OffByTheCapabilitiesElseByTheLastFlag)
{
    PerfData on, off;
    on.strings["sun.rt.jvmCapabilities"] = "1100";
    off.strings["sun.rt.jvmCapabilities"] = "0100";
    EXPECT_FALSE(attachMechanismDisabled(&on, {"java", "-XX:+DisableAttachMechanism"}));
    EXPECT_TRUE(attachMechanismDisabled(&off, {"java"}));
    EXPECT_TRUE(attachMechanismDisabled(nullptr, {"java", "-XX:+DisableAttachMechanism", "Main"}));
    EXPECT_FALSE(attachMechanismDisabled(nullptr, {"-XX:+DisableAttachMechanism", "-XX:-DisableAttachMechanism"}));
    EXPECT_FALSE(attachMechanismDisabled(nullptr, {"java", "Main"}));

    EXPECT_EQ(mainOfJavaCommand("com.example.Main --port 8080"), "com.example.Main");
    EXPECT_EQ(mainOfJavaCommand("app.jar"), "app.jar");
    EXPECT_EQ(mainOfJavaCommand(""), "");
}

TEST(AttachMechanism, RequestAndReplyAsTheVmReadsAndWritesThem)
{
    std::string error;
    EXPECT_EQ(attachRequestBytes("load", {"/lib/agent.so", "true", "port=0"}, error),
              bytes("1\0load\0/lib/agent.so\0true\0port=0\0"));
    // Three arguments always travel, empty ones as a lone NUL.
    EXPECT_EQ(attachRequestBytes("jcmd", {"GC.class_histogram"}, error),
              bytes("1\0jcmd\0GC.class_histogram\0\0\0"));
    EXPECT_EQ(attachRequestBytes("jcmd", {std::string(1025, 'x')}, error), "");
    EXPECT_NE(error.find("1024"), std::string::npos);
    EXPECT_EQ(attachRequestBytes("load", {"a", "b", "c", "d"}, error), "");

    AttachReply reply;
    ASSERT_TRUE(parseAttachReply("0\nreturn code: 0\n", reply));
    EXPECT_EQ(reply.status, 0);
    EXPECT_EQ(reply.output, "return code: 0\n");
    ASSERT_TRUE(parseAttachReply("-1\n", reply));
    EXPECT_EQ(reply.status, -1);
    EXPECT_EQ(reply.output, "");
    EXPECT_FALSE(parseAttachReply("", reply));
    EXPECT_FALSE(parseAttachReply("oops\n", reply));
}

class PortFileLookupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vorlan-port-lookup-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        const auto found = readProcess(getpid());
        ASSERT_TRUE(found);
        self = *found;
        path = portFilePath(dir, self.namespacePid);
    }
    void TearDown() override
    {
        const std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    void write(const std::string& file, const std::string& text) { std::ofstream(file) << text; }
    std::string own(unsigned long long start) const
    {
        return "port=40123\nstart=" + std::to_string(start) + "\n";
    }

    std::string dir, path;
    ProcessInfo self;
};

TEST(PortFileText, PortAndStartAreBothNeeded)
{
    int port = 0;
    unsigned long long start = 0;
    EXPECT_TRUE(parsePortFileText("port=40123\nstart=77\n", port, start));
    EXPECT_EQ(port, 40123);
    EXPECT_EQ(start, 77u);
    EXPECT_TRUE(parsePortFileText("start=5\nversion=2\nport=1\n", port, start));
    for (const char* bad : {"", "port=40123\n", "start=7\n", "port=0\nstart=1\n", "port=65536\nstart=1\n",
                            "port=12ab\nstart=1\n", "port=-1\nstart=1\n", "port=1\nstart=\n"})
        EXPECT_FALSE(parsePortFileText(bad, port, start)) << bad;
}

TEST_F(PortFileLookupTest, OwnFileOfTheLiveProcessGivesThePort)
{
    write(path, own(self.startTicks));
    const PortFileLookup lookup = readPortFileAt(path, self);
    EXPECT_EQ(lookup.state, PortFileState::found);
    EXPECT_EQ(lookup.port, 40123);
    EXPECT_EQ(readPortFileAt(dir + "/.vorlan_pid1", self).state, PortFileState::absent);
}

TEST_F(PortFileLookupTest, AFileOfAReusedPidIsStaleAndRemoved)
{
    write(path, own(self.startTicks + 1));
    EXPECT_EQ(readPortFileAt(path, self).state, PortFileState::stale);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
}

TEST_F(PortFileLookupTest, ALinkOrAnotherUsersFileIsNeverRead)
{
    const std::string target = dir + "/elsewhere";
    write(target, own(self.startTicks));
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    PortFileLookup lookup = readPortFileAt(path, self);
    EXPECT_EQ(lookup.state, PortFileState::foreign);
    EXPECT_EQ(lookup.port, 0);
    ASSERT_EQ(unlink(path.c_str()), 0);

    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
    write(path, own(self.startTicks));
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    lookup = readPortFileAt(path, self);
    EXPECT_EQ(lookup.state, PortFileState::foreign);
    EXPECT_EQ(lookup.port, 0);
    EXPECT_NE(lookup.why.find("belongs to another user"), std::string::npos) << lookup.why;
    EXPECT_EQ(access(path.c_str(), F_OK), 0);  // and not removed
}

TEST_F(PortFileLookupTest, StaleFilesOfOursAreSweptAndOthersKept)
{
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    const std::string dead = portFilePath(dir, child);
    const std::string reused = portFilePath(dir, getppid());
    write(dead, own(1));
    write(path, own(self.startTicks));
    write(reused, own(1));  // our parent runs, but did not start at tick 1
    write(dir + "/.vorlan_pidnotanumber", own(1));
    int expected = 2;
    std::string foreign;
    if (geteuid() == 0) {
        foreign = portFilePath(dir, child + 1000000);
        write(foreign, own(1));
        ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(removeStalePortFiles(dir), expected);
    EXPECT_NE(access(dead.c_str(), F_OK), 0);
    EXPECT_NE(access(reused.c_str(), F_OK), 0);
    EXPECT_EQ(access(path.c_str(), F_OK), 0);
    EXPECT_EQ(access((dir + "/.vorlan_pidnotanumber").c_str(), F_OK), 0);
    if (!foreign.empty()) {
        EXPECT_EQ(access(foreign.c_str(), F_OK), 0);
    }
}

}  // namespace
