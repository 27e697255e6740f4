// How long a VM stopped its program, from its own counters in the performance data
// (what jstat reads): the time spent reaching safepoints and at them, read before and
// after a capture. The heap dump's collection and its writing are safepoints; so is
// anything else the VM did meanwhile (a young collection), which the difference counts
// too, as the program was stopped for it all the same.
#pragma once

#include <cstdint>
#include <optional>

struct PerfData;

struct SafepointClock {
    int64_t atSafepointTicks = 0;  // sun.rt.safepointTime
    int64_t reachingTicks = 0;     // sun.rt.safepointSyncTime
    int64_t safepoints = 0;        // sun.rt.safepoints
    int64_t ticksPerSecond = 0;    // sun.os.hrt.frequency
};

std::optional<SafepointClock> safepointClockOf(const PerfData& perf);
// The clock of process pid now; nullopt without performance data.
std::optional<SafepointClock> readSafepointClock(long pid);

struct Pause {
    double ms = 0;           // reaching the safepoints and at them
    double reachingMs = 0;   // of which reaching them
    int64_t safepoints = 0;  // how many
};
Pause pauseBetween(const SafepointClock& before, const SafepointClock& after);
