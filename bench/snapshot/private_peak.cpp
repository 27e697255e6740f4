#include "private_peak.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

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
    // statm: size resident shared ..., in pages; "shared" is the file-backed part.
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return;
    unsigned long long size = 0, resident = 0, shared = 0;
    const bool read = std::fscanf(statm, "%llu %llu %llu", &size, &resident, &shared) == 3;
    std::fclose(statm);
    if (!read || resident < shared)
        return;
    const uint64_t now = (resident - shared) * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    uint64_t most = most_.load(std::memory_order_relaxed);
    while (now > most && !most_.compare_exchange_weak(most, now, std::memory_order_relaxed)) {
    }
}
