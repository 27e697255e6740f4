// vorlan-cli's side of a live capture: its progress for the progress line, Ctrl-C turned
// into a cancel that cleans up, the process id of the VM when only the agent's port is
// known, and the pause in words.
#pragma once

#include <string>

#include "capture_cancel.h"
#include "capture_report.h"
#include "cli_options.h"
#include "snapshot_open.h"

// A capture's progress as the progress line shows a dump being read: the phase
// ("reading" while the dump comes), bytes and objects so far.
OpenProgress openProgressOf(const CaptureProgress& progress);

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

// "the program paused 482 ms", or why the pause is not known.
std::string pauseText(const CaptureReport& report);
