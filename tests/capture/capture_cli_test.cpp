// vorlan-cli dump against a real JVM: the file it writes (private, complete, readable),
// what it refuses, and a client that is interrupted or killed, while the VM writes or
// before the VM has opened the pipe: nothing is left and the VM goes on.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "capture_jvm.h"
#include "heap_capture.h"
#include "hotspot_attach.h"
#include "object_ids.h"
#include "snapshot_reader.h"

namespace fs = std::filesystem;

namespace {

std::string cli() { return std::string(VORLAN_TOOLS_DIR) + "/vorlan-cli"; }

uint64_t instancesOf(const HeapIndex& index, const std::string& name)
{
    for (const auto& row : index.histogram())
        if (index.className(row.cls) == name)
            return row.objects;
    return 0;
}

// The partly written dump beside file ("." + name + ".vorlan-XXXXXX"), or "".
std::string partialDump(const std::string& file)
{
    const fs::path p(file);
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(p.parent_path(), ignored))
        if (entry.path().filename().string().rfind("." + p.filename().string() + ".vorlan-", 0) == 0)
            return entry.path().string();
    return {};
}

// Waits until the dump being written beside file has at least bytes.
bool partialGrows(const std::string& file, uintmax_t bytes, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string partial = partialDump(file);
        std::error_code ignored;
        if (!partial.empty() && fs::file_size(partial, ignored) >= bytes)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// The object the named reference of from leads to in a dump; kNoObject if none.
uint32_t next(const HeapIndex& index, uint32_t from, const std::string& edge)
{
    const HeapGraph& g = index.graph;
    for (uint32_t e = g.firstEdge[from]; e < g.firstEdge[from + 1]; ++e)
        if (index.edgeName(from, e) == edge)
            return g.targets[e];
    ADD_FAILURE() << "no reference " << edge;
    return kNoObject;
}

}  // namespace

TEST(CliDump, WritesAPrivateCompleteDumpAndReplacesOnlyWhenForced)
{
    CaptureTargetJvm target;
    const std::string file = scratchDir() + "/app.hprof";
    const std::string pid = std::to_string(target.pid());
    const CommandResult written = run_command({cli(), pid, "dump", file});
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_NE(written.out.find("wrote " + file), std::string::npos) << written.out;
    EXPECT_NE(written.out.find("the program paused"), std::string::npos) << written.out;
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const HeapIndex index = readHeapDumpFile(file);
    EXPECT_EQ(instancesOf(index, "Session"), 9u);
    EXPECT_EQ(instancesOf(index, "User"), 9u);

    const CommandResult refused = run_command({cli(), pid, "dump", file});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("exists (--force replaces it)"), std::string::npos) << refused.err;
    const CommandResult forced = run_command({cli(), "--json", "--pid", pid, "dump", file, "--force"});
    ASSERT_EQ(forced.status, 0) << forced.err;
    EXPECT_NE(forced.out.find("\"pause_ms\":"), std::string::npos) << forced.out;
    EXPECT_NE(forced.out.find("\"bytes\":" + std::to_string(fs::file_size(file))), std::string::npos) << forced.out;
    EXPECT_TRUE(partialDump(file).empty());
    EXPECT_TRUE(noCaptureLeft(target.pid()));

    const CommandResult usage = run_command({cli(), pid, "dump"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("dump needs a FILE"), std::string::npos) << usage.err;
}

TEST(CliDump, InterruptedWhileTheVmWritesLeavesNothing)
{
    CaptureTargetJvm target({}, 2'000'000);
    const std::string file = scratchDir() + "/interrupted.hprof";
    Child dump({cli(), std::to_string(target.pid()), "dump", file});
    ASSERT_TRUE(partialGrows(file, 1u << 20, 30000)) << dump.err();
    ::kill(dump.pid(), SIGINT);
    ASSERT_TRUE(dump.waitExit(5000));
    EXPECT_EQ(dump.status(), 130) << dump.err();
    EXPECT_NE(dump.err().find("cancelled"), std::string::npos) << dump.err();
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(partialDump(file).empty());
    EXPECT_TRUE(noCaptureLeft(target.pid()));
}

TEST(CliDump, KilledWhileTheVmWritesLeavesNothingAndTheVmGoesOn)
{
    CaptureTargetJvm target({}, 2'000'000);
    const std::string file = scratchDir() + "/killed.hprof";
    Child dump({cli(), std::to_string(target.pid()), "dump", file});
    ASSERT_TRUE(partialGrows(file, 1u << 20, 30000)) << dump.err();
    ::kill(dump.pid(), SIGKILL);
    ASSERT_TRUE(dump.waitExit(5000));
    // The guard cleans up at once; the VM gets EPIPE and ends its dump.
    EXPECT_TRUE(noCaptureLeft(target.pid()));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!partialDump(file).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(partialDump(file).empty()) << "the partial dump stayed";
    EXPECT_FALSE(fs::exists(file));
    const LiveSnapshot again = captureHeap(target.pid());
    EXPECT_EQ(instancesOf(again.index, "Ballast"), 2'000'000u);
}

TEST(CliDump, KilledWhileWaitingItsTurnLeavesNothing)
{
    CaptureTargetJvm target;
    // Another tool's dump keeps the VM's attach listener busy, waiting for a reader, so
    // the client waits its turn with its pipe and partial file made.
    const std::string busy = scratchDir() + "/busy.fifo";
    ASSERT_EQ(::mkfifo(busy.c_str(), 0600), 0);
    AttachExchange other;
    ASSERT_TRUE(openAttachExchange(target.pid(), "jcmd", {"GC.heap_dump -overwrite " + busy}, other).ok());
    ASSERT_TRUE(other.send().ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string file = scratchDir() + "/early.hprof";
    Child dump({cli(), std::to_string(target.pid()), "dump", file});
    // Its private directory and pipe exist: it has asked, or is about to.
    const auto asked = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (noCaptureLeftQuietly(target.pid()) && std::chrono::steady_clock::now() < asked)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_FALSE(dump.exited()) << dump.out() << dump.err();
    ::kill(dump.pid(), SIGKILL);
    ASSERT_TRUE(dump.waitExit(5000));
    EXPECT_TRUE(noCaptureLeft(target.pid()));

    // Now the listener's first dump gets its reader, and the listener goes on.
    {
        std::ifstream drain(busy, std::ios::binary);
        char buffer[65536];
        while (drain.read(buffer, sizeof buffer) || drain.gcount() > 0) {
        }
    }
    EXPECT_TRUE(other.finish(std::chrono::seconds(30)).ok());
    const LiveSnapshot again = captureHeap(target.pid());
    EXPECT_EQ(instancesOf(again.index, "Session"), 9u);
    EXPECT_TRUE(partialDump(file).empty());
    EXPECT_TRUE(noCaptureLeft(target.pid()));
}

// Without --hprof, the snapshot commands capture the running VM: the biggest object is
// the target's class, whose static holds the ballast; the retained histogram counts
// every Ballast (16 bytes each with compressed class pointers, as jcmd counts); each reply
// says how long the program paused, and nothing of the capture is left.
TEST(CliSnapshot, TopAndRetainedHistogramOfTheRunningVm)
{
    CaptureTargetJvm target({}, 200'000);
    const std::string pid = std::to_string(target.pid());
    const CommandResult top = run_command({cli(), pid, "top", "--limit", "2"});
    ASSERT_EQ(top.status, 0) << top.err;
    EXPECT_NE(top.out.find("1. class CaptureTarget held by"), std::string::npos) << top.out;
    EXPECT_NE(top.out.find("accumulates in"), std::string::npos) << top.out;
    EXPECT_NE(top.out.find("a snapshot of process " + pid), std::string::npos) << top.out;
    EXPECT_NE(top.out.find("the program paused"), std::string::npos) << top.out;
    EXPECT_TRUE(noCaptureLeft(target.pid()));

    const CommandResult histo =
        run_command({cli(), "--pid", pid, "--json", "histo", "--retained", "--match", "Ballast"});
    ASSERT_EQ(histo.status, 0) << histo.err;
    EXPECT_NE(histo.out.find("\"instances\":200000,\"bytes\":3200000,\"retained\":3200000,\"class_name\":\"Ballast\""),
              std::string::npos)
        << histo.out;
    EXPECT_NE(histo.out.find("the program paused"), std::string::npos) << histo.out;
    EXPECT_TRUE(noCaptureLeft(target.pid()));

    const CommandResult gone = run_command({cli(), std::to_string(deadPid()), "dominators"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.err.find("no process with id"), std::string::npos) << gone.err;
}

// live OBJ --hprof FILE: the dump's object found again in the running VM with its live
// handle and fields; after the program changed the field on its path, the step where
// the chain breaks is named and the status is 1.
TEST(CliLive, FindsADumpsObjectLiveAndSaysWhereTheProgramChanged)
{
    CaptureTargetJvm target({}, 0, true);
    const std::string file = scratchDir() + "/live.hprof";
    captureHeapToFile(target.pid(), file, false);
    const HeapIndex index = readHeapDumpFile(file);
    const uint32_t targetClass = index.classes[index.classNamed("CaptureTarget")].object;
    const uint32_t sessions = next(index, next(index, targetClass, "static registry"), "sessions");
    const uint32_t user = next(index, next(index, sessions, "[3]"), "user");
    ASSERT_NE(user, kNoObject);
    const std::string id = snapshotId(user);
    const std::string port = std::to_string(target.port());

    const CommandResult found = run_command({cli(), "--port", port, "live", id, "--hprof", file});
    ASSERT_EQ(found.status, 0) << found.out << found.err;
    EXPECT_NE(found.out.find(id + " is live as "), std::string::npos) << found.out;
    EXPECT_NE(found.out.find("static registry"), std::string::npos) << found.out;
    EXPECT_NE(found.out.find("\"user-3\""), std::string::npos) << found.out;

    ASSERT_TRUE(target.swap());
    const CommandResult broken = run_command({cli(), "--port", port, "--json", "live", id, "--hprof", file});
    EXPECT_EQ(broken.status, 1) << broken.err;
    EXPECT_NE(broken.out.find("\"found\":false"), std::string::npos) << broken.out;
    EXPECT_NE(broken.out.find("leads to a Guest now; the snapshot had a Session there"), std::string::npos)
        << broken.out;

    const CommandResult noDump = run_command({cli(), "--port", port, "live", id});
    EXPECT_EQ(noDump.status, 2);
    EXPECT_NE(noDump.err.find("live needs --hprof FILE"), std::string::npos) << noDump.err;
}
