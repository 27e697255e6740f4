#include "private_peak.h"

#include <chrono>

#include "warm_pages.h"

PrivatePeak::PrivatePeak()
{
    sample();
    thread_ = std::thread([this] {
        while (!stop_.load(std::memory_order_relaxed)) {
            sample();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
}

PrivatePeak::~PrivatePeak()
{
    stop_.store(true, std::memory_order_relaxed);
    thread_.join();
}

uint64_t PrivatePeak::bytes()
{
    sample();
    return most_.load(std::memory_order_relaxed);
}

void PrivatePeak::sample()
{
    const ResidentMemory resident = residentMemory();
    if (resident.all == 0)
        return;
    const uint64_t now = resident.all - resident.fileBacked;
    uint64_t most = most_.load(std::memory_order_relaxed);
    while (now > most && !most_.compare_exchange_weak(most, now, std::memory_order_relaxed)) {
    }
}
