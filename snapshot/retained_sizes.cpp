#include "retained_sizes.h"

#include "large_arrays.h"
#include "second_thread.h"
#include "step_costs.h"

RetainedSizes::RetainedSizes(const HeapGraph& graph, std::vector<uint32_t>&& preorder, std::vector<uint32_t>&& idomByNumber)
{
    // Totals by number, 40 bits in two arrays: the backward pass reads and writes its own
    // entry in sequence and its dominator's, most often close by.
    const uint32_t count = static_cast<uint32_t>(preorder.size()) + 1;
    std::vector<uint32_t> low;  // 4 B per reachable object while summing
    std::vector<uint8_t> high;  // 1 B per reachable object while summing
    assignLarge(low, count, 0u);
    assignLarge(high, count, uint8_t{0});
    auto get = [&](uint32_t v) { return (uint64_t{high[v]} << 32) | low[v]; };
    auto set = [&](uint32_t v, uint64_t units) {
        // A total beyond 40 bits (only a forged dump gets there) stays at the top.
        if (units > kMask)
            units = kMask;
        low[v] = static_cast<uint32_t>(units);
        high[v] = static_cast<uint8_t>(units >> 32);
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
    assignLarge(low_, graph.objects, 0u);
    assignLarge(high_, graph.objects, uint8_t{0});
    // Each total to its object's place, half the numbers on a second thread: the writes
    // go to distinct objects, so the halves never meet.
    auto place = [&](uint32_t from, uint32_t to) {
        for (uint32_t v = from; v < to; ++v) {
            const uint32_t object = preorder[v - 1];
            low_[object] = low[v];
            high_[object] = high[v];
        }
    };
    const uint32_t half = 1 + (count - 1) / 2;
    SecondThread upper([&] { place(half, count); });
    place(1, half);
    upper.join();
    release(preorder);
    release(low);
    release(high);
}
