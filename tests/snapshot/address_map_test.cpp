// Object numbers by address: runs in address order and objects out of order, checked
// against a plain map, both ways, with duplicates refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "address_map.h"

namespace {

TEST(AddressMap, NumbersAndAddressesRoundTrip)
{
    std::mt19937_64 random(42);
    // Objects as a heap walk gives them: runs of ascending addresses through regions of
    // several megabytes, regions in shuffled order, and a few stragglers elsewhere (as
    // class objects come first in a dump), some in the same megabytes as runs.
    std::vector<uint64_t> order;
    std::vector<uint64_t> regions;
    for (int r = 0; r < 12; ++r)
        regions.push_back(0x7f0000000ull + uint64_t(r) * (3u << 20));
    std::shuffle(regions.begin(), regions.end(), random);
    for (int i = 0; i < 20; ++i)
        order.push_back(regions[random() % 4] + ((random() % 393216) << 3));
    for (uint64_t base : regions) {
        uint64_t at = base;
        while (at < base + (3u << 20) - 4096) {
            at += 8 * (2 + random() % 10);
            order.push_back(at);
        }
    }
    AddressMap map;
    std::map<uint64_t, uint32_t> expected;
    uint32_t number = 0;
    for (uint64_t address : order) {
        const bool fresh = expected.emplace(address, number).second;
        const AddressMap::Define result = map.define(address, number);
        if (fresh) {
            ASSERT_EQ(result, AddressMap::Define::Added) << std::hex << address;
            ++number;
        } else {
            ASSERT_EQ(result, AddressMap::Define::Duplicate) << std::hex << address;
        }
    }
    EXPECT_EQ(map.define(0x7f0000001ull, number), AddressMap::Define::Unaligned);
    const uint32_t unseen = map.compact(0x7f0000000ull + (40u << 20));
    map.finish();
    EXPECT_GT(map.explicitBlockCount(), 0u);
    EXPECT_LT(map.explicitBlockCount(), map.blockCount());

    for (const auto& [address, n] : expected) {
        ASSERT_EQ(map.numberAt(address), n) << std::hex << address;
        ASSERT_EQ(map.addressOf(n), address) << n;
    }
    EXPECT_EQ(map.numberAt(expected.begin()->first + 8 * 100000), UINT32_MAX);
    EXPECT_EQ(map.numberOf(unseen), UINT32_MAX);
    EXPECT_EQ(map.numberOf(AddressMap::kInvalid), UINT32_MAX);

    std::vector<std::pair<uint64_t, uint32_t>> walked;
    map.forEachInAddressOrder([&](uint32_t n, uint64_t address) { walked.emplace_back(address, n); });
    const std::vector<std::pair<uint64_t, uint32_t>> sorted(expected.begin(), expected.end());
    EXPECT_EQ(walked, sorted);
}

}  // namespace
