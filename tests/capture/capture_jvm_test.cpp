// Live captures of real JVMs (the JDK named by VORLAN_TEST_JAVA, else the build's): the
// heap read while the VM writes it equals what the VM counts itself, the pause is the
// one the VM logs, and nothing is left behind however the capture ends: finished,
// cancelled, its client killed while the VM writes or before the VM opened the pipe, or
// left by a dead client for the next capture to sweep. Two captures of one VM at once
// are served one after the other; a VM that cannot be captured says why at once.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "capture_cancel.h"
#include "capture_error.h"
#include "capture_jvm.h"
#include "heap_capture.h"
#include "hotspot_attach.h"
#include "snapshot_reader.h"

namespace fs = std::filesystem;

namespace {

struct Row {
    uint64_t objects = 0, bytes = 0;
    bool operator==(const Row& o) const { return objects == o.objects && bytes == o.bytes; }
};
using Histogram = std::map<std::string, Row>;

Histogram jcmdHistogram(pid_t pid)
{
    const CommandResult r = run_command({jcmdBinary(), std::to_string(pid), "GC.class_histogram"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    Histogram h;
    std::istringstream lines(r.out);
    const std::regex row("^\\s*\\d+:\\s+(\\d+)\\s+(\\d+)\\s+(\\S+)");
    std::smatch m;
    for (std::string line; std::getline(lines, line);)
        if (std::regex_search(line, m, row))
            h[m[3]] = {std::stoull(m[1]), std::stoull(m[2])};
    return h;
}

Histogram indexHistogram(const HeapIndex& index)
{
    Histogram h;
    for (const auto& row : index.histogram())
        h[std::string(index.className(row.cls))] = {row.objects, row.bytes};
    return h;
}

// Every class that jcmd counted alike just before and just after the capture has the
// same count and bytes in the capture, with the dump's two known differences: class
// objects of archived classes never loaded are not in it, and JDK 21 on writes the
// arrays filling dead space as int[].
void expectCountsAsTheVm(const Histogram& before, const HeapIndex& index, const Histogram& after)
{
    const Histogram ours = indexHistogram(index);
    const std::string filler = "[Ljdk.internal.vm.FillerElement;";
    const auto get = [](const Histogram& h, const std::string& name) {
        const auto found = h.find(name);
        return found == h.end() ? Row{} : found->second;
    };
    size_t compared = 0;
    std::ostringstream differing;
    for (const auto& [name, jcmd] : before) {
        if (!(get(after, name) == jcmd) || name == filler || name == "java.lang.Class")
            continue;
        Row expected = jcmd;
        if (name == "[I") {
            expected.objects += get(before, filler).objects;
            expected.bytes += get(before, filler).bytes;
        }
        ++compared;
        if (!(get(ours, name) == expected))
            differing << "  " << name << ": capture " << get(ours, name).objects << " / " << get(ours, name).bytes
                      << " B, jcmd " << expected.objects << " / " << expected.bytes << " B\n";
    }
    EXPECT_TRUE(differing.str().empty()) << "classes the capture counts otherwise than the VM:\n" << differing.str();
    EXPECT_GT(compared, before.size() * 8 / 10) << "too few classes stayed still between the jcmd calls";
    EXPECT_EQ(get(ours, "Session").objects, 9u);
    EXPECT_EQ(get(ours, "User").objects, 9u);
}

// From the VM's -Xlog:safepoint file: how many lines it has, and the sum of the
// "Total: N ns" of the first `count` safepoints logged after line `skip`, in ms.
std::pair<size_t, double> loggedSafepoints(const std::string& log, size_t skip, int64_t count)
{
    std::istringstream lines(read_file(log));
    const std::regex total("Total: (\\d+) ns");
    std::smatch m;
    double ms = 0;
    size_t n = 0;
    int64_t seen = 0;
    for (std::string line; std::getline(lines, line); ++n)
        if (n >= skip && seen < count && std::regex_search(line, m, total)) {
            ms += std::stod(m[1]) / 1e6;
            ++seen;
        }
    return {n, ms};
}

}  // namespace

TEST(CaptureJvm, ReadsTheHeapAsTheVmCountsItAndReportsItsPause)
{
    const std::string log = scratchDir() + "/safepoint.log";
    CaptureTargetJvm target({"-Xlog:safepoint=info:file=" + log});
    const pid_t pid = target.pid();
    const Histogram before = jcmdHistogram(pid);
    const size_t logged = loggedSafepoints(log, 0, 0).first;
    std::vector<CapturePhase> phases;
    CaptureOptions options;
    options.progress = [&](const CaptureProgress& p) {
        if (phases.empty() || phases.back() != p.phase)
            phases.push_back(p.phase);
    };
    LiveSnapshot snapshot = captureHeap(pid, options);
    const Histogram after = jcmdHistogram(pid);
    expectCountsAsTheVm(before, snapshot.index, after);
    EXPECT_TRUE(noCaptureLeft(pid));

    const CaptureReport& r = snapshot.report;
    EXPECT_TRUE(r.layoutFromVm);
    EXPECT_EQ(r.target.version.feature, javaFeature());
    EXPECT_NE(r.vmAnswer.find("Heap dump file created"), std::string::npos) << r.vmAnswer;
    EXPECT_EQ(r.bytes, snapshot.index.summary.dumpBytes);
    ASSERT_TRUE(r.pauseKnown);
    EXPECT_GE(r.pause.safepoints, 1);
    EXPECT_GT(r.pause.ms, 0.0);
    EXPECT_LE(r.pause.ms, r.answerMs + 1);
    // The VM's own log of the same safepoints; the histogram after them came later.
    const double loggedMs = loggedSafepoints(log, logged, r.pause.safepoints).second;
    EXPECT_NEAR(r.pause.ms, loggedMs, std::max(2.0, loggedMs * 0.05))
        << "the performance counters and -Xlog:safepoint disagree";

    const std::vector<CapturePhase> expected = {CapturePhase::Preparing, CapturePhase::Dumping, CapturePhase::Reading,
                                                CapturePhase::Resolving, CapturePhase::Sizing, CapturePhase::Done};
    EXPECT_EQ(phases, expected);
}

TEST(CaptureJvm, CompressedStreamAndTheVmsDumpThreads)
{
    CaptureTargetJvm target;
    CaptureOptions gzip;
    gzip.gzipLevel = 1;
    const LiveSnapshot compressed = captureHeap(target.pid(), gzip);
    EXPECT_LT(compressed.report.bytes, compressed.index.summary.dumpBytes / 2) << "the stream was not compressed";
    EXPECT_EQ(indexHistogram(compressed.index)["Session"].objects, 9u);
    EXPECT_TRUE(noCaptureLeft(target.pid()));

    // From JDK 22 the dump's parts are written by several threads into files beside the
    // pipe, and merged into it after the pause: they must go too.
    CaptureOptions threads;
    threads.dumpThreads = 2;
    const LiveSnapshot parallel = captureHeap(target.pid(), threads);
    EXPECT_EQ(indexHistogram(parallel.index)["User"].objects, 9u);
    EXPECT_TRUE(noCaptureLeft(target.pid()));
}

TEST(CaptureJvm, ASecondCaptureWaitsForTheFirst)
{
    using Clock = std::chrono::steady_clock;
    CaptureTargetJvm target({}, 2'000'000);
    std::atomic<bool> firstAsked{false};
    Clock::time_point firstLastByte, secondFirstByte;
    std::string waited;
    std::optional<LiveSnapshot> first, second;
    std::string firstError, secondError;
    std::thread one([&] {
        CaptureOptions options;
        options.progress = [&](const CaptureProgress& p) {
            if (p.phase == CapturePhase::Dumping)
                firstAsked = true;
            if (p.phase == CapturePhase::Resolving)
                firstLastByte = Clock::now();
        };
        try {
            first = captureHeap(target.pid(), options);
        } catch (const std::exception& e) {
            firstError = e.what();
        }
    });
    while (!firstAsked)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    CaptureOptions options;
    options.progress = [&](const CaptureProgress& p) {
        if (!p.waitingFor.empty() && waited.empty())
            waited = p.waitingFor;
        if (p.phase == CapturePhase::Reading && secondFirstByte == Clock::time_point())
            secondFirstByte = Clock::now();
    };
    try {
        second = captureHeap(target.pid(), options);
    } catch (const std::exception& e) {
        secondError = e.what();
    }
    one.join();
    ASSERT_TRUE(first) << firstError;
    ASSERT_TRUE(second) << secondError;
    EXPECT_NE(waited.find("another capture of this VM"), std::string::npos) << "the second did not say it waits";
    EXPECT_GE(secondFirstByte, firstLastByte) << "the second stream began before the first had ended";
    for (const LiveSnapshot* s : {&*first, &*second}) {
        const Histogram h = indexHistogram(s->index);
        EXPECT_EQ(h.at("Ballast").objects, 2'000'000u);
        EXPECT_EQ(h.at("Session").objects, 9u);
    }
    EXPECT_TRUE(noCaptureLeft(target.pid()));
}

TEST(CaptureJvm, CancelledWhileTheVmWritesLeavesNothingAndTheVmGoesOn)
{
    CaptureTargetJvm target({}, 2'000'000);
    CaptureCancel cancel;
    CaptureOptions options;
    options.cancel = &cancel;
    options.progressEveryBytes = 1u << 20;
    std::chrono::steady_clock::time_point cancelledAt;
    options.progress = [&](const CaptureProgress& p) {
        if (p.phase == CapturePhase::Reading && p.bytes > (4u << 20) && !cancel.cancelled()) {
            cancelledAt = std::chrono::steady_clock::now();
            std::thread([&cancel] { cancel.cancel(); }).detach();
        }
    };
    try {
        captureHeap(target.pid(), options);
        ADD_FAILURE() << "the capture was not cancelled";
    } catch (const CaptureError& e) {
        EXPECT_EQ(e.failure(), CaptureFailure::cancelled) << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - cancelledAt, std::chrono::seconds(2)) << "the cancel took long";
    EXPECT_TRUE(noCaptureLeft(target.pid()));
    // The VM has given up its dump (EPIPE) and serves the next.
    const LiveSnapshot again = captureHeap(target.pid());
    EXPECT_EQ(indexHistogram(again.index).at("Ballast").objects, 2'000'000u);
}

TEST(CaptureJvm, AClientKilledRightAfterAskingLeavesTheVmServing)
{
    CaptureTargetJvm target;
    // The client, in a process of its own, makes the VM's attach listener busy with
    // another dump (into a pipe nobody reads yet) just before it asks, so its request
    // waits in the listener's queue, and is killed as soon as it has asked: the VM has
    // not opened its pipe, and will try when the other dump is done.
    const std::string busy = scratchDir() + "/busy-listener.fifo";
    ASSERT_EQ(::mkfifo(busy.c_str(), 0600), 0);
    const pid_t client = ::fork();
    if (client == 0) {
        AttachExchange other;
        int preparing = 0;
        CaptureOptions options;
        options.progress = [&](const CaptureProgress& p) {
            if (p.phase == CapturePhase::Preparing && ++preparing == 2) {
                if (!openAttachExchange(target.pid(), "jcmd", {"GC.heap_dump -overwrite " + busy}, other).ok() ||
                    !other.send().ok())
                    ::_exit(2);
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
            if (p.phase == CapturePhase::Dumping)
                ::raise(SIGKILL);
        };
        try {
            captureHeap(target.pid(), options);
        } catch (...) {
        }
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(client, &status, 0), client);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the client ended otherwise: " << status;
    EXPECT_TRUE(noCaptureLeft(target.pid()));

    // The other dump gets its reader; then the listener takes the dead client's request,
    // finds no directory to open its pipe in, and goes on.
    {
        std::ifstream drain(busy, std::ios::binary);
        char buffer[65536];
        while (drain.read(buffer, sizeof buffer) || drain.gcount() > 0) {
        }
    }
    const LiveSnapshot again = captureHeap(target.pid());
    EXPECT_EQ(indexHistogram(again.index).at("Session").objects, 9u);
    EXPECT_TRUE(noCaptureLeft(target.pid()));
}

TEST(CaptureJvm, AVmThatCannotBeCapturedSaysWhyAtOnce)
{
    CaptureTargetJvm target({"-XX:+DisableAttachMechanism"});
    const auto start = std::chrono::steady_clock::now();
    try {
        captureHeap(target.pid());
        ADD_FAILURE() << "captured a VM without an attach mechanism";
    } catch (const CaptureError& e) {
        EXPECT_EQ(e.failure(), CaptureFailure::notPossible);
        EXPECT_NE(std::string(e.what()).find("DisableAttachMechanism"), std::string::npos) << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(noCaptureLeft(target.pid()));

    try {
        captureHeap(::getpid());
        ADD_FAILURE() << "captured a process that is no VM";
    } catch (const CaptureError& e) {
        EXPECT_EQ(e.failure(), CaptureFailure::notPossible);
        EXPECT_NE(std::string(e.what()).find("not a HotSpot Java VM"), std::string::npos) << e.what();
    }
}

TEST(CaptureJvm, ADeadClientsPipeIsSweptAndTheVmWaitingOnItReleased)
{
    CaptureTargetJvm target;
    // What a client killed together with its guard leaves: its directory with the pipe,
    // and the VM's attach listener waiting in open() for a reader.
    const std::string base = captureBase();
    ::mkdir(base.c_str(), 0700);
    const std::string stale = base + "/capture-" + std::to_string(deadPid()) + "-1-" + std::to_string(target.pid()) +
                              "-XXXXXX";
    ASSERT_EQ(::mkdir(stale.c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((stale + "/heap.hprof").c_str(), 0600), 0);
    Child stuck({jcmdBinary(), std::to_string(target.pid()), "GC.heap_dump", "-overwrite", stale + "/heap.hprof"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_FALSE(stuck.exited()) << "the VM did not wait for a reader";

    const LiveSnapshot snapshot = captureHeap(target.pid());
    EXPECT_EQ(indexHistogram(snapshot.index).at("Session").objects, 9u);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(stuck.waitExit(5000)) << "the stuck dump never ended";
    EXPECT_TRUE(noCaptureLeft(target.pid()));
}
