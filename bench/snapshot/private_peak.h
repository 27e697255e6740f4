// The most private memory a benchmark process had resident at once: its own data, what
// it allocated, without the pages of its program and the C and C++ libraries, which come
// from their files and are shared with every process that runs them. The kernel keeps
// the high-water mark of all resident memory only (VmHWM), so a thread samples
// /proc/self/statm (resident less file-backed pages) every millisecond; every step of
// the analysis holds its memory far longer than that.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

class PrivatePeak {
public:
    PrivatePeak();
    ~PrivatePeak();
    PrivatePeak(const PrivatePeak&) = delete;
    PrivatePeak& operator=(const PrivatePeak&) = delete;

    // The most bytes seen so far, the present included.
    uint64_t bytes();

private:
    void sample();

    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> most_{0};
    std::thread thread_;
};
