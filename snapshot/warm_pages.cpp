#include "warm_pages.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <new>


WarmPages::WarmPages(std::function<uint64_t()> residentTarget, std::function<bool()> mayStart)
    : residentTarget_(std::move(residentTarget)), mayStart_(std::move(mayStart))
{
    thread_ = std::thread([this] { warm(); });
}

WarmPages::~WarmPages()
{
    release();
}

void WarmPages::release()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    stopped_.notify_all();
    if (thread_.joinable())
        thread_.join();
    chunks_.clear();
    held_.store(0, std::memory_order_relaxed);
}

void WarmPages::warm()
{
    // Only this thread: on Linux a thread's nice value is its own. It then runs when a
    // core would otherwise idle, never in the reader's or the dumping VM's way.
    setpriority(PRIO_PROCESS, 0, 19);
    bool started = !mayStart_;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        lock.unlock();
        started = started || mayStart_();
        // The process's own memory besides what is warmed, and what that leaves; nothing
        // to ask before warming may start.
        uint64_t budget = 0;
        if (started) {
            const uint64_t target = residentTarget_();
            const uint64_t resident = residentBytes();
            const uint64_t held = held_.load(std::memory_order_relaxed);
            const uint64_t others = resident > held ? resident - held : 0;
            budget = resident != 0 && target > others ? target - others : 0;
        }
        while (held_.load(std::memory_order_relaxed) + kChunkBytes <= budget) {
            try {
                MappedMemory chunk(kChunkBytes);
                std::memset(chunk.data(), 0, kChunkBytes);
                chunks_.push_back(std::move(chunk));
            } catch (const std::bad_alloc&) {
                break;  // the memory is not there: nothing to warm
            }
            const uint64_t holding = held_.load(std::memory_order_relaxed) + kChunkBytes;
            held_.store(holding, std::memory_order_relaxed);
            if (holding > most_.load(std::memory_order_relaxed))
                most_.store(holding, std::memory_order_relaxed);
            std::lock_guard<std::mutex> check(mutex_);
            if (stop_)
                return;
        }
        lock.lock();
        stopped_.wait_for(lock, std::chrono::milliseconds(10), [this] { return stop_; });
    }
}

ResidentMemory residentMemory()
{
    // Pages: the whole size, those resident, those of them backed by files.
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0, shared = 0;
    if (!(statm >> size >> resident >> shared))
        return {};
    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    return {resident * page, std::min(shared, resident) * page};
}

uint64_t residentBytes()
{
    return residentMemory().all;
}
