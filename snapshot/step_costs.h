// What each step of the analysis cost: its time, and the bytes its own arrays held at
// their largest (its result included, the graph and earlier steps' results not), so that
// a caller can add up the peak of the whole analysis part by part.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct StepCost {
    std::string name;
    double seconds = 0;
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
    explicit StepClock(StepCosts* log) : log_(log), start_(std::chrono::steady_clock::now()) {}

    void done(std::string name, uint64_t workBytes)
    {
        const auto now = std::chrono::steady_clock::now();
        if (log_)
            log_->push_back({std::move(name), std::chrono::duration<double>(now - start_).count(), workBytes, 0});
        start_ = now;
    }

private:
    StepCosts* log_;
    std::chrono::steady_clock::time_point start_;
};
