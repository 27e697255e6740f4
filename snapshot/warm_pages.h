// Memory the analysis will soon want, faulted in ahead of it while the reader waits on
// the dump. A fresh page is dear where the system has given its free memory back to a
// hypervisor (free page reporting, usual in cloud VMs): the first touch faults in the
// host too, 1 to 4 ms per MB on the machines measured here, against a tenth of that for
// a page the process freed moments before. So while reading, a thread of the lowest
// priority holds as many touched pages as the budget allows, and gives them all back
// when reading ends: the arrays the reader's last steps and the analysis then ask for
// come from those pages. On other machines it costs idle time on a spare core only.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "mapped_memory.h"

class WarmPages {
public:
    // residentTarget(): how much memory the process may have resident at this moment,
    // warmed pages included; the thread holds what that leaves over the rest. Asked every
    // few milliseconds on the warming thread, so it must be safe to call there.
    // mayStart(), when given, holds warming back until it first says yes.
    explicit WarmPages(std::function<uint64_t()> residentTarget, std::function<bool()> mayStart = {});
    ~WarmPages();
    WarmPages(const WarmPages&) = delete;
    WarmPages& operator=(const WarmPages&) = delete;

    // Stops the thread and gives every page back; the destructor does it too.
    void release();
    uint64_t heldBytes() const { return held_.load(std::memory_order_relaxed); }
    uint64_t mostBytes() const { return most_.load(std::memory_order_relaxed); }

    static constexpr uint64_t kChunkBytes = uint64_t{8} << 20;

private:
    void warm();

    std::function<uint64_t()> residentTarget_;
    std::function<bool()> mayStart_;
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    std::vector<MappedMemory> chunks_;  // the warming thread's until it ends
    std::atomic<uint64_t> held_{0};
    std::atomic<uint64_t> most_{0};
    std::thread thread_;
};

// The bytes of this process resident in memory now (0 if that cannot be read).
uint64_t residentBytes();
// The same, and how much of it is pages read from files (the program's and its
// libraries' code, shared with other processes); zeros if it cannot be read.
struct ResidentMemory {
    uint64_t all = 0;
    uint64_t fileBacked = 0;
};
ResidentMemory residentMemory();
