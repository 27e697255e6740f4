// What each step of the analysis cost: its time, and the bytes its own arrays held at
// their largest (its result included, the graph and earlier steps' results not), so that
// a caller can add up the peak of the whole analysis part by part.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "large_arrays.h"

struct StepCost {
    std::string name;
    double seconds = 0;
    double cpuSeconds = 0;   // of the thread that ran it: less swayed by a busy machine
    uint64_t workBytes = 0;  // this step's arrays at their largest
    uint64_t heldBytes = 0;  // what earlier steps keep meanwhile; filled in by analyseHeap
};
using StepCosts = std::vector<StepCost>;

template <class T>
uint64_t bytesOf(const std::vector<T>& v)
{
    return v.capacity() * sizeof(T);
}

// Times one step and appends it to a log, when there is one.
class StepClock {
public:
    explicit StepClock(StepCosts* log) : log_(log), start_(std::chrono::steady_clock::now()), cpuStart_(threadCpu()) {}

    void done(std::string name, uint64_t workBytes)
    {
        const auto now = std::chrono::steady_clock::now();
        const double cpu = threadCpu();
        if (log_)
            log_->push_back({std::move(name), std::chrono::duration<double>(now - start_).count(), cpu - cpuStart_, workBytes, 0});
        start_ = now;
        cpuStart_ = cpu;
    }

private:
    static double threadCpu()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec + t.tv_nsec * 1e-9;
    }

    StepCosts* log_;
    std::chrono::steady_clock::time_point start_;
    double cpuStart_;
};
