#include "retained_sizes.h"

#include <unordered_map>

#include "large_arrays.h"
#include "second_thread.h"

RetainedSizes::RetainedSizes(const HeapGraph& graph, std::vector<uint32_t>&& preorder, std::vector<uint32_t>&& idomByNumber)
{
    // Totals by number: the backward pass reads and writes its own entry in sequence and
    // its dominator's, most often close by. The large ones wait in a map by number.
    const uint32_t count = static_cast<uint32_t>(preorder.size()) + 1;
    std::vector<uint32_t> units;  // 4 B per reachable object while summing
    assignLarge(units, count, 0u);
    std::unordered_map<uint32_t, uint64_t> large;
    auto get = [&](uint32_t v) -> uint64_t { return units[v] != kLarge ? units[v] : large[v]; };
    auto set = [&](uint32_t v, uint64_t total) {
        if (total < kLarge) {
            units[v] = static_cast<uint32_t>(total);
        } else {
            units[v] = kLarge;
            large[v] = std::min(total, kMost);
        }
    };
    uint64_t reachableUnits = 0;
    for (uint32_t v = count - 1; v >= 1; --v) {
        const uint64_t total = get(v) + graph.sizeUnits[preorder[v - 1]];
        set(v, total);
        const uint32_t d = idomByNumber[v];
        if (d == 0)
            reachableUnits += total;
        else
            set(d, get(d) + total);
    }
    reachableBytes_ = reachableUnits * kSizeUnit;
    release(idomByNumber);
    assignLarge(units_, graph.objects, 0u);
    // Each total to its object's place, half the numbers on a second thread: the writes
    // go to distinct objects, so the halves never meet.
    auto place = [&](uint32_t from, uint32_t to) {
        for (uint32_t v = from; v < to; ++v)
            units_[preorder[v - 1]] = units[v];
    };
    const uint32_t half = 1 + (count - 1) / 2;
    SecondThread upper([&] { place(half, count); });
    place(1, half);
    upper.join();
    large_.reserve(large.size());
    for (const auto& [v, total] : large)
        large_.emplace_back(preorder[v - 1], total);
    std::sort(large_.begin(), large_.end());
    release(preorder);
    release(units);
}
