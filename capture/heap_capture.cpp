#include "heap_capture.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

#include "capture_cancel.h"
#include "capture_error.h"
#include "capture_guard.h"
#include "dump_file.h"
#include "dump_pipe.h"
#include "hotspot_attach.h"
#include "hprof_error.h"
#include "local_jvms.h"
#include "pipe_drain.h"
#include "private_dir.h"
#include "snapshot_reader.h"
#include "vm_flags.h"

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The heap's bytes in use, from the collectors' counters (young and old spaces).
uint64_t heapUsed(long pid)
{
    const auto perf = readVmPerfData(pid);
    if (!perf)
        return 0;
    uint64_t used = 0;
    const std::string prefix = "sun.gc.generation.";
    for (const auto& [name, value] : perf->longs)
        if (name.compare(0, prefix.size(), prefix) == 0 && name.size() > 5 &&
            name.compare(name.size() - 5, 5, ".used") == 0 && name.find(".space.") != std::string::npos && value > 0)
            used += static_cast<uint64_t>(value);
    return used;
}

std::string dumpCommand(const std::string& path, const CaptureOptions& options, const JavaVersion& version)
{
    std::string command = "GC.heap_dump -overwrite";
    if (options.gzipLevel > 0)
        command += " -gz=" + std::to_string(options.gzipLevel);
    if (options.dumpThreads > 0 && version.feature >= 22)
        command += " -parallel=" + std::to_string(options.dumpThreads);
    return command + " " + path;
}

// A source this file keeps, lent to the gzip reader that wants to own one.
class LentSource : public ByteSource {
public:
    explicit LentSource(ByteSource& source) : source_(source) {}
    size_t read(uint8_t* buffer, size_t size) override { return source_.read(buffer, size); }
    uint64_t consumed() const override { return source_.consumed(); }

private:
    ByteSource& source_;
};

// The bytes the drain holds for the reader at most: a quarter of the heap in use (about
// a quarter of the dump), within the memory the reader's index leaves free of the
// analysis's peak; at least enough to smooth the reader's pace, at most 1 GiB.
size_t drainLimit(uint64_t heapUsed)
{
    constexpr uint64_t kLeast = 32u << 20, kMost = uint64_t{1} << 30;
    return static_cast<size_t>(std::min(kMost, std::max(kLeast, heapUsed / 4)));
}

// One capture from start to end: the checks, the private directory and its pipe, the
// guard, the request to the VM, the stream drained on a thread of its own, and the
// clean-up in every case. It is also the reader's source.
class Capture : public ByteSource {
public:
    Capture(long pid, const CaptureOptions& options, const std::string& extraFile)
        : options_(options), start_(Clock::now())
    {
        report(CapturePhase::Preparing);
        if (options.cancel && options.cancel->cancelled())
            throw CaptureError(CaptureFailure::cancelled, "the capture was cancelled");
        report_.target = checkCaptureTarget(pid);
        progress_.heapUsed = heapUsed(pid);
        dir_ = PrivateDir::create(pid);
        if (!dir_.memoryBacked())
            report_.notes.push_back("no memory-backed storage for the pipe's directory (" + dir_.path() +
                                    "): from JDK 22 on the VM writes its dump's parts there during the pause");
        pipe_.emplace(dir_.path() + "/heap.hprof");
        // From here on, if this process is killed, the guard cleans up.
        guard_ = CaptureGuard(pipe_->fd(), dir_.path(), extraFile);
        for (long other : dir_.otherCaptures()) {
            progress_.waitingFor = "another capture of this VM (process " + std::to_string(other) +
                                   ") is under way; this one follows it";
            report(CapturePhase::Preparing);
        }
        // The VM serves this only once it is done with another capture's dump.
        if (const auto layout = askVmLayout(pid, report_.target.version.feature, options.cancel)) {
            report_.layout = *layout;
            report_.layoutFromVm = true;
        } else {
            report_.notes.push_back("the VM did not say how it lays out objects: inferred from the dump");
        }
        const std::string command = dumpCommand(dir_.vmPath("heap.hprof"), options, report_.target.version);
        const AttachResult opened = openAttachExchange(pid, "jcmd", {command}, exchange_);
        if (!opened.ok())
            throw CaptureError(opened.failure == AttachFailure::refused || opened.failure == AttachFailure::noAnswer
                                   ? CaptureFailure::refused
                                   : CaptureFailure::notPossible,
                               opened.message);
        report(CapturePhase::Preparing);
        clockBefore_ = readSafepointClock(pid);
        requested_ = Clock::now();
        const AttachResult sent = exchange_.send();
        if (!sent.ok())
            throw CaptureError(CaptureFailure::refused, sent.message);
        report(CapturePhase::Dumping);
        stream_.emplace(*pipe_, exchange_, options.cancel, &stop_);
        drain_.emplace(*stream_, stop_, drainLimit(progress_.heapUsed));
    }

    ~Capture() override { cleanUp(); }

    // The dump's bytes, on the capturing thread.
    size_t read(uint8_t* buffer, size_t size) override
    {
        const size_t n = drain_->read(buffer, size);
        lowerReadAheadAfterPause();
        if (n > 0 && !firstByte_) {
            firstByte_ = Clock::now();
            // The VM has the pipe open: its name is no longer needed.
            pipe_->unlinkPath();
            progress_.waitingFor.clear();
            report(CapturePhase::Reading);
        }
        return n;
    }
    uint64_t consumed() const override { return drain_ ? drain_->consumed() : 0; }

    CaptureReport& result() { return report_; }

    void report(CapturePhase phase, uint64_t objects = 0)
    {
        progress_.phase = phase;
        progress_.bytes = consumed();
        if (objects > 0)
            progress_.objects = objects;
        progress_.seconds = msBetween(start_, Clock::now()) / 1000;
        if (options_.progress)
            options_.progress(progress_);
    }

    // The stream has ended: the VM's answer (at once, normally), and the pause.
    void finishStream()
    {
        const auto lastByte = Clock::now();
        streamEnded_.store(true);
        report_.bytes = drain_->consumed();
        report_.drainMostBytes = drain_->mostWaiting();
        drain_.reset();
        const AttachResult answer = stream_->answer();
        const auto answered = Clock::now();
        report_.vmAnswer = lastLine(answer.reply.output);
        report_.firstByteMs = firstByte_ ? msBetween(requested_, *firstByte_) : 0;
        report_.lastByteMs = msBetween(requested_, lastByte);
        report_.answerMs = msBetween(requested_, answered);
        if (const auto after = readSafepointClock(report_.target.pid); after && clockBefore_) {
            report_.pauseKnown = true;
            report_.pause = pauseBetween(*clockBefore_, *after);
        } else {
            report_.notes.push_back("the VM has no performance data (-XX:-UsePerfData): its pause is not known");
        }
        // Everything the VM wrote has been read; nothing of the capture need stay.
        cleanUp();
    }

    // Called when the stream could not be read. When the VM had closed the pipe, its
    // answer (which follows at once) says why better than the cut stream does; while it
    // still writes, it is not waited for: the clean-up gives it EPIPE.
    [[noreturn]] void rethrowWithAnswer()
    {
        drain_.reset();
        try {
            throw;
        } catch (const CaptureError&) {
            throw;
        } catch (const std::exception&) {
            if (stream_ && stream_->ended() && !stream_->answered() && exchange_.isOpen()) {
                const AttachResult answer = exchange_.finish(std::chrono::milliseconds(2000));
                if (answer.failure == AttachFailure::refused)
                    throw CaptureError(CaptureFailure::refused, answer.message);
            }
            throw;
        }
    }

    double sinceStartMs() const { return msBetween(start_, Clock::now()); }

    // Whether the VM's pause for the dump is over: when the stream has ended; before
    // that only where the VM writes its dump's parts first and the stream after (JDK 22
    // on), once a safepoint has ended since the request (the time at safepoints grows as
    // each one ends). Without performance data, only at the end. Safe on any thread.
    bool pauseOver() const
    {
        if (streamEnded_.load())
            return true;
        if (!clockBefore_ || report_.target.version.feature < 22)
            return false;
        const auto now = readSafepointClock(report_.target.pid);
        return now && now->atSafepointTicks > clockBefore_->atSafepointTicks;
    }

private:
    // A VM that streams its dump after the pause (JDK 22 on) waits on the pipe without
    // stopping its program: from then on the drain holds only a little ahead of the
    // reader, not up to its limit. Looked at every few milliseconds.
    void lowerReadAheadAfterPause()
    {
        if (readAheadLowered_ || report_.target.version.feature < 22)
            return;
        const auto now = Clock::now();
        if (now - lastPauseCheck_ < std::chrono::milliseconds(10))
            return;
        lastPauseCheck_ = now;
        if (pauseOver()) {
            drain_->lowerLimit(kReadAheadAfterPause);
            readAheadLowered_ = true;
        }
    }

    static constexpr size_t kReadAheadAfterPause = size_t{4} << 20;

    static std::string lastLine(std::string text)
    {
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        return text.substr(text.rfind('\n') + 1);
    }

    // The drain's thread ends first. Then the directory (and the pipe's name in it): a VM
    // that has not opened the pipe yet finds nothing to open; closing the read end after
    // it gives one that has EPIPE. The VM's answer is not waited for.
    void cleanUp()
    {
        drain_.reset();
        dir_.remove();
        if (pipe_)
            pipe_->close();
        exchange_.abandon();
        guard_.release();
    }

    const CaptureOptions& options_;
    Clock::time_point start_;
    Clock::time_point requested_;
    std::optional<Clock::time_point> firstByte_;
    CaptureReport report_;
    CaptureProgress progress_;
    PrivateDir dir_;
    std::optional<DumpPipe> pipe_;
    AttachExchange exchange_;
    CaptureGuard guard_;
    std::optional<SafepointClock> clockBefore_;
    std::atomic<bool> streamEnded_{false};
    bool readAheadLowered_ = false;
    Clock::time_point lastPauseCheck_;
    CaptureCancel stop_;  // ends the drain's waits
    std::optional<DumpStream> stream_;
    std::optional<PipeDrain> drain_;
};

}  // namespace

const char* capturePhaseName(CapturePhase phase)
{
    switch (phase) {
    case CapturePhase::Preparing: return "preparing";
    case CapturePhase::Dumping: return "the VM collects and writes its heap dump (the program is paused)";
    case CapturePhase::Reading: return "reading the dump";
    case CapturePhase::Resolving: return "resolving references";
    case CapturePhase::Sizing: return "computing sizes";
    case CapturePhase::Done: return "done";
    }
    return "";
}

LiveSnapshot captureHeap(long pid, const CaptureOptions& options)
{
    Capture capture(pid, options, "");
    LiveSnapshot snapshot;
    uint64_t warmed = 0;
    try {
        ReadOptions read;
        read.progressEveryBytes = options.progressEveryBytes;
        // The snapshot is captured to be analysed; memory for that is warmed ahead once
        // the program runs again, never while the VM holds it paused.
        read.warmAhead = true;
        read.warmWhen = [&capture] { return capture.pauseOver(); };
        read.warmedBytes = &warmed;
        if (capture.result().layoutFromVm)
            read.layout = capture.result().layout;
        bool ended = false;
        read.progress = [&](const ReadProgress& p) {
            if (p.phase == ReadPhase::Reading) {
                if (p.dumpBytes > 0)
                    capture.report(CapturePhase::Reading, p.objects);
                return;
            }
            if (!ended) {
                ended = true;
                capture.finishStream();
            }
            if (p.phase != ReadPhase::Done)
                capture.report(p.phase == ReadPhase::Resolving ? CapturePhase::Resolving : CapturePhase::Sizing,
                               p.objects);
        };
        auto source = openDumpStream(std::make_unique<LentSource>(capture));
        snapshot.index = readHeapDump(*source, read);
        if (!ended)
            capture.finishStream();
    } catch (...) {
        capture.rethrowWithAnswer();
    }
    snapshot.report = std::move(capture.result());
    snapshot.report.warmedBytes = warmed;
    snapshot.report.layout = snapshot.index.summary.layout;
    snapshot.report.totalMs = capture.sinceStartMs();
    capture.report(CapturePhase::Done, snapshot.index.graph.objects);
    return snapshot;
}

CaptureReport captureHeapToFile(long pid, const std::string& file, bool overwrite, const CaptureOptions& options)
{
    DumpFile out(file, overwrite);
    Capture capture(pid, options, out.temporaryPath());
    try {
        std::vector<uint8_t> buffer(1u << 20);
        uint64_t nextReport = options.progressEveryBytes;
        for (;;) {
            const size_t n = capture.read(buffer.data(), buffer.size());
            if (n == 0)
                break;
            if (out.bytes() == 0 && !(n >= 2 && buffer[0] == 0x1f && buffer[1] == 0x8b) &&
                std::string(reinterpret_cast<const char*>(buffer.data()), std::min<size_t>(n, 13)) != "JAVA PROFILE ")
                throw CaptureError(CaptureFailure::stream, "the VM's stream is no heap dump");
            out.write(buffer.data(), n);
            if (out.bytes() >= nextReport) {
                capture.report(CapturePhase::Reading);
                nextReport = out.bytes() + options.progressEveryBytes;
            }
        }
        capture.finishStream();
        out.commit();
    } catch (...) {
        capture.rethrowWithAnswer();
    }
    CaptureReport report = std::move(capture.result());
    report.totalMs = capture.sinceStartMs();
    capture.report(CapturePhase::Done);
    return report;
}
