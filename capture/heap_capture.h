// A heap snapshot of a running HotSpot VM, captured in one pause: the VM's own heap
// dumper is asked, through its attach mechanism as jcmd asks it, to write
// `GC.heap_dump -overwrite` into a named pipe in a directory private to the user, and the
// dump is read as it is written, into a HeapIndex (or, for `vorlan-cli dump`, into a
// file). Everything made for it is removed afterwards, also when the caller cancels, an
// error stops it, or the process is killed (capture_guard.h).
//
//   CaptureCancel cancel;                      // cancel.cancel() from any thread
//   CaptureOptions options;
//   options.cancel = &cancel;
//   options.progress = [](const CaptureProgress& p) { ... };   // on the capturing thread
//   LiveSnapshot snapshot = captureHeap(pid, options);          // throws CaptureError
//   snapshot.report.pause.ms                                    // how long the program stopped
//
// Two captures of one VM at once are served one after the other by the VM's attach
// listener, each with its own pipe; the second says in its progress that it waits.
#pragma once

#include <string>

#include "capture_report.h"
#include "heap_index.h"

struct LiveSnapshot {
    HeapIndex index;
    CaptureReport report;
};

// Throws CaptureError saying why when there is no snapshot; a stream the reader cannot
// read throws HprofError (a VM's error answer is preferred when it has one).
LiveSnapshot captureHeap(long pid, const CaptureOptions& options = {});

// The same stream written to file (mode 0600, never through a link; an existing file is
// replaced only with overwrite), complete or not at all.
CaptureReport captureHeapToFile(long pid, const std::string& file, bool overwrite, const CaptureOptions& options = {});
