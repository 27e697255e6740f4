#include "large_arrays.h"

#include <algorithm>
#include <mutex>

namespace {

constexpr uint64_t kKeptAtLeast = uint64_t{1} << 20;  // bytes

struct KeptArrays {
    std::mutex mutex;
    int scopes = 0;
    std::vector<std::vector<uint32_t>> arrays;  // smallest first
};

KeptArrays& kept()
{
    static KeptArrays instance;
    return instance;
}

}  // namespace

ReuseFreedArrays::ReuseFreedArrays()
{
    std::lock_guard<std::mutex> lock(kept().mutex);
    ++kept().scopes;
}

ReuseFreedArrays::~ReuseFreedArrays()
{
    std::vector<std::vector<uint32_t>> freed;
    {
        std::lock_guard<std::mutex> lock(kept().mutex);
        if (--kept().scopes == 0)
            freed.swap(kept().arrays);
    }
}

bool keepFreedArray(std::vector<uint32_t>& v)
{
    if (v.capacity() * sizeof(uint32_t) < kKeptAtLeast)
        return false;
    KeptArrays& k = kept();
    std::lock_guard<std::mutex> lock(k.mutex);
    if (k.scopes == 0)
        return false;
    v.clear();
    auto at = std::lower_bound(k.arrays.begin(), k.arrays.end(), v.capacity(),
                               [](const std::vector<uint32_t>& a, size_t capacity) { return a.capacity() < capacity; });
    k.arrays.insert(at, std::move(v));
    v = std::vector<uint32_t>();
    return true;
}

bool takeFreedArray(std::vector<uint32_t>& v, uint64_t count)
{
    KeptArrays& k = kept();
    std::lock_guard<std::mutex> lock(k.mutex);
    // No more than a quarter and a megabyte beyond what is asked: what a larger one has
    // besides would be held for nothing.
    const uint64_t most = count + count / 4 + kKeptAtLeast / sizeof(uint32_t);
    auto at = std::lower_bound(k.arrays.begin(), k.arrays.end(), count,
                               [](const std::vector<uint32_t>& a, uint64_t n) { return a.capacity() < n; });
    if (at == k.arrays.end() || at->capacity() > most)
        return false;
    v = std::move(*at);
    k.arrays.erase(at);
    return true;
}

void makeRoomForFresh(uint64_t bytes)
{
    if (bytes < kKeptAtLeast)
        return;
    std::vector<std::vector<uint32_t>> freed;
    {
        KeptArrays& k = kept();
        std::lock_guard<std::mutex> lock(k.mutex);
        uint64_t room = 0;
        // The smallest first: the larger ones are likelier to serve a later array.
        while (room < bytes && !k.arrays.empty()) {
            room += k.arrays.front().capacity() * sizeof(uint32_t);
            freed.push_back(std::move(k.arrays.front()));
            k.arrays.erase(k.arrays.begin());
        }
    }
}
