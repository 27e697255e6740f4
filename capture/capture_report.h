// What a live capture tells its caller while it runs and when it is done, apart from
// the heap itself (heap_capture.h), so that front ends can show it without the
// snapshot library's types.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture_target.h"
#include "pause_clock.h"
#include "vm_layout.h"

class CaptureCancel;

enum class CapturePhase : uint8_t {
    Preparing,  // checking the VM, asking its layout, making the pipe
    Dumping,    // asked: the VM collects and writes its dump; the program is paused
    Reading,    // the dump is coming (on JDK 22+ the last part after the pause)
    Resolving,  // after the last byte: references resolved
    Sizing,     // shallow sizes as the VM counts them
    Done,
};
const char* capturePhaseName(CapturePhase phase);  // "the VM writes its heap dump"...

struct CaptureProgress {
    CapturePhase phase = CapturePhase::Preparing;
    uint64_t bytes = 0;     // of the dump so far
    uint64_t objects = 0;   // read so far (none when the dump goes to a file)
    uint64_t heapUsed = 0;  // the heap's bytes in use before the dump (about the dump's size); 0 unknown
    double seconds = 0;     // since the capture began
    // Dumping: why the VM has not started yet, when another capture of it is under way.
    std::string waitingFor;
};

struct CaptureOptions {
    // -gz=N: a stream about 5 times smaller, but a pause 1.5 to 3 times longer. 0: plain.
    int gzipLevel = 0;
    // -parallel=N on JDK 22 and later (threads writing the dump during the pause); 0: the
    // VM's own choice, as jcmd's.
    unsigned dumpThreads = 0;
    // Called on the capturing thread at each phase and about every progressEveryBytes.
    std::function<void(const CaptureProgress&)> progress;
    uint64_t progressEveryBytes = 16u << 20;
    const CaptureCancel* cancel = nullptr;
};

struct CaptureReport {
    CaptureTarget target;
    VmLayout layout;
    bool layoutFromVm = false;  // asked of the VM (else inferred from the dump)
    bool pauseKnown = false;    // the VM has performance data to measure it by
    Pause pause;                // how long the program stopped during the capture
    double firstByteMs = 0;     // from the request to the first byte
    double lastByteMs = 0;      // from the request to the stream's end
    double answerMs = 0;        // from the request to the VM's answer
    double totalMs = 0;         // from the start to everything ready
    uint64_t bytes = 0;         // of the stream (compressed, with gzipLevel)
    uint64_t drainMostBytes = 0;  // the most bytes read ahead of the reader at once
    uint64_t warmedBytes = 0;     // the most memory faulted in ahead for the analysis
    std::string vmAnswer;       // the VM's own words: "Heap dump file created [...]"
    std::vector<std::string> notes;
};
