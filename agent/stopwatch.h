// Wall-clock milliseconds of a stretch of work, for the pause figures of replies and
// progress lines.
#pragma once

#include <chrono>

class Stopwatch {
public:
    double ms() const { return std::chrono::duration<double, std::milli>(Clock::now() - start_).count(); }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_ = Clock::now();
};
