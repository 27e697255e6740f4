// vorlan-cli's side of a live capture: the progress line on standard error (only on a
// terminal), Ctrl-C turned into a cancel that cleans up, and the process id of the VM
// when only the agent's port is known.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "capture_cancel.h"
#include "cli_options.h"
#include "capture_report.h"

// A progress callback that rewrites one line on err while the capture runs, when err is
// a terminal (isTerminal); a no-op otherwise. finishLine() clears the line afterwards.
class CaptureProgressLine {
public:
    CaptureProgressLine(std::ostream& err, bool isTerminal, std::string what);
    std::function<void(const CaptureProgress&)> callback();
    void finishLine();

private:
    std::ostream& err_;
    bool terminal_;
    std::string what_;
    bool shown_ = false;
};

// The text of one progress line: "heap of 4242: reading 120 of about 460 MB, 2.1M objects".
std::string captureProgressText(const std::string& what, const CaptureProgress& progress);

// While it lives, SIGINT and SIGTERM cancel the capture instead of ending the program at
// once, so the capture cleans up; the handlers before it are restored after.
class CancelOnInterrupt {
public:
    explicit CancelOnInterrupt(CaptureCancel& cancel);
    ~CancelOnInterrupt();
    CancelOnInterrupt(const CancelOnInterrupt&) = delete;
    CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;
    bool interrupted() const;
};

// The pid of the VM the options name: --pid, or with only a port the pid the agent's
// hello gives. 0 with why in error.
long capturePid(const CliOptions& options, std::string& error);

// "the program paused 482 ms (1 safepoint)", or why the pause is not known.
std::string pauseText(const CaptureReport& report);
