#include "live_snapshot.h"

#include <cstdio>

#include "capture_cancel.h"
#include "capture_error.h"
#include "capture_progress.h"
#include "heap_capture.h"
#include "hprof_error.h"

namespace {

std::string captureSentence(long pid, const CaptureReport& report)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", report.totalMs / 1000);
    return "a snapshot of process " + std::to_string(pid) + " (Java " + report.target.version.text +
           ") taken live in " + seconds + ": " + pauseText(report) +
           (report.pauseKnown ? " (its safepoints during the capture, by the VM's own counters)" : "");
}

}  // namespace

std::unique_ptr<Snapshot> openLiveSnapshot(const CliOptions& options,
                                           const std::function<void(const OpenProgress&)>& progress)
{
    std::string why;
    const long pid = capturePid(options, why);
    if (pid == 0)
        throw LiveSnapshotError(why);

    CaptureCancel cancel;
    CaptureOptions capture;
    capture.cancel = &cancel;
    OpenProgress last;
    if (progress) {
        capture.progress = [&](const CaptureProgress& p) {
            if (p.phase == CapturePhase::Done)
                return;
            // The dump's size is not known before its end: bytes so far, no total.
            last = openProgressOf(p);
            progress(last);
        };
    }
    // Ctrl-C cancels the capture, which then removes its pipe and directory.
    CancelOnInterrupt interrupt(cancel);
    LiveSnapshot live;
    try {
        live = captureHeap(pid, capture);
    } catch (const CaptureError& e) {
        throw LiveSnapshotError(e.what());
    } catch (const HprofError& e) {
        throw LiveSnapshotError("the heap dump of process " + std::to_string(pid) + " could not be read: " + e.what());
    }
    // Every reply's notes say how the snapshot was taken and how long the program stopped.
    live.index.summary.notes.insert(live.index.summary.notes.begin(), captureSentence(pid, live.report));

    SnapshotOptions analysis;
    analysis.weakAsStrong = options.weak;
    if (progress) {
        last.objects = live.index.graph.objects;
        analysis.progress = [&](const std::string& step) {
            last.phase = step;
            progress(last);
        };
    }
    // No values: the stream cannot be read a second time.
    return std::make_unique<Snapshot>(std::move(live.index), ValueReader{}, analysis);
}
