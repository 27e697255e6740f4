#include "pause_clock.h"

#include "local_jvms.h"
#include "perf_data.h"

std::optional<SafepointClock> safepointClockOf(const PerfData& perf)
{
    const auto value = [&](const char* name) -> std::optional<int64_t> {
        const auto found = perf.longs.find(name);
        return found == perf.longs.end() ? std::nullopt : std::optional<int64_t>(found->second);
    };
    const auto at = value("sun.rt.safepointTime");
    const auto reaching = value("sun.rt.safepointSyncTime");
    const auto count = value("sun.rt.safepoints");
    const auto frequency = value("sun.os.hrt.frequency");
    if (!at || !reaching || !count || !frequency || *frequency <= 0)
        return std::nullopt;
    return SafepointClock{*at, *reaching, *count, *frequency};
}

std::optional<SafepointClock> readSafepointClock(long pid)
{
    const auto perf = readVmPerfData(pid);
    return perf ? safepointClockOf(*perf) : std::nullopt;
}

Pause pauseBetween(const SafepointClock& before, const SafepointClock& after)
{
    const double msPerTick = 1000.0 / static_cast<double>(after.ticksPerSecond);
    Pause pause;
    pause.reachingMs = static_cast<double>(after.reachingTicks - before.reachingTicks) * msPerTick;
    pause.ms = static_cast<double>(after.atSafepointTicks - before.atSafepointTicks) * msPerTick + pause.reachingMs;
    pause.safepoints = after.safepoints - before.safepoints;
    return pause;
}
