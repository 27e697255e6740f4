// Object numbers by address: runs in address order and objects out of order, checked
// against a plain map, both ways, with duplicates refused; heaps past 32 GiB, and dumps
// that name megabytes without end.
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
    const uint64_t unseen = map.compact(0x7f0000000ull + (40u << 20));
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

// A dump that walked the object graph gives every block's objects out of order: their
// addresses by number still round-trip, in about 8 bytes per object beside the bitmaps.
TEST(AddressMap, ObjectsInTheOrderAGraphWalkFindsThem)
{
    std::mt19937_64 random(7);
    std::vector<uint64_t> addresses;
    for (uint64_t region = 0; region < 8; ++region) {
        for (uint64_t at = 0x40000000ull + (region << 20); at < 0x40000000ull + ((region + 1) << 20) - 64; at += 24 + 8 * (random() % 3))
            addresses.push_back(at);
    }
    std::shuffle(addresses.begin(), addresses.end(), random);
    AddressMap map;
    for (uint32_t n = 0; n < addresses.size(); ++n)
        ASSERT_EQ(map.define(addresses[n], n), AddressMap::Define::Added);
    map.finish();
    EXPECT_EQ(map.explicitBlockCount(), 8u);
    for (uint32_t n = 0; n < addresses.size(); ++n) {
        ASSERT_EQ(map.addressOf(n), addresses[n]) << n;
        ASSERT_EQ(map.numberAt(addresses[n]), n) << std::hex << addresses[n];
    }
    EXPECT_EQ(map.addressOf(static_cast<uint32_t>(addresses.size())), 0u);
    const size_t bitmaps = 8 * AddressMap::kBlockBytes;
    EXPECT_LE(map.memoryBytes(), bitmaps + addresses.size() * 9) << addresses.size() << " objects";
}

// References that name megabytes of addresses beyond the 32768th need compact addresses
// past 32 bits; objects there, in runs and out of order, round-trip like any others, and
// the all-ones compact address names none of them, not even an object in the last word
// of the first megabyte past 32 bits.
TEST(AddressMap, HeapsOfMoreThan32GiB)
{
    constexpr uint64_t kBase = 0x800000000ull;
    constexpr uint32_t kMegabytes = 40000;
    auto megabyte = [](uint32_t m) { return kBase + (uint64_t{m} << 20); };
    AddressMap map;
    std::vector<uint64_t> compacts;
    for (uint32_t m = 0; m < kMegabytes; ++m)
        compacts.push_back(map.compact(megabyte(m) + 64));
    EXPECT_LE(compacts[30000], UINT32_MAX);
    EXPECT_GT(compacts[39999], UINT32_MAX);
    EXPECT_FALSE(map.tooManyBlocks());

    // One run in the first megabyte past 32 bits (its last word too), objects out of
    // order in the last, and one object back in an early megabyte.
    std::map<uint64_t, uint32_t> expected;
    uint32_t number = 0;
    auto define = [&](uint64_t address) {
        ASSERT_EQ(map.define(address, number), AddressMap::Define::Added) << std::hex << address;
        expected.emplace(address, number++);
    };
    const uint64_t lastWord = megabyte(AddressMap::kNarrowBlocks - 1) + (1u << 20) - 8;
    for (uint64_t a = megabyte(AddressMap::kNarrowBlocks - 1); a < lastWord; a += 4096)
        define(a);
    define(lastWord);
    for (uint64_t a : {megabyte(39999) + 640, megabyte(39999) + 64, megabyte(39999) + 320, megabyte(12) + 64})
        define(a);
    const uint64_t lastWordCompact = map.compact(lastWord);
    map.finish();
    EXPECT_GT(map.explicitBlockCount(), 0u);

    for (const auto& [address, n] : expected) {
        ASSERT_EQ(map.numberAt(address), n) << std::hex << address;
        ASSERT_EQ(map.addressOf(n), address) << n;
    }
    EXPECT_EQ(map.numberOf(compacts[39999]), expected.at(megabyte(39999) + 64));
    EXPECT_EQ(map.numberOf(compacts[12]), expected.at(megabyte(12) + 64));
    EXPECT_EQ(map.numberOf(compacts[AddressMap::kNarrowBlocks - 1]), UINT32_MAX);  // no object at +64
    EXPECT_EQ(map.numberOf(lastWordCompact), expected.at(lastWord));
    EXPECT_NE(lastWordCompact, AddressMap::kInvalid);
    EXPECT_EQ(map.numberOf(AddressMap::kInvalid), UINT32_MAX);
    EXPECT_EQ(map.numberOf(compacts[20000]), UINT32_MAX);

    std::vector<std::pair<uint64_t, uint32_t>> walked;
    map.forEachInAddressOrder([&](uint32_t n, uint64_t address) { walked.emplace_back(address, n); });
    EXPECT_EQ(walked, (std::vector<std::pair<uint64_t, uint32_t>>(expected.begin(), expected.end())));
}

// Megabytes named by references alone cost memory too: past the free allowance only as
// many more as the megabytes where objects start justify.
TEST(AddressMap, MegabytesNamedWithoutObjectsAreBounded)
{
    AddressMap map;
    uint64_t m = 0;
    for (; m + 1 < AddressMap::kFreeBlocks; ++m)  // one block is kInvalid's
        ASSERT_NE(map.compact(m << 20), AddressMap::kInvalid) << m;
    EXPECT_FALSE(map.tooManyBlocks());
    EXPECT_EQ(map.compact(m << 20), AddressMap::kInvalid);
    EXPECT_TRUE(map.tooManyBlocks());
    EXPECT_NE(map.compact((m - 1) << 20), AddressMap::kInvalid);  // a megabyte already named
    // Objects in megabytes of their own earn room for more.
    AddressMap grown;
    for (uint32_t b = 0; b < AddressMap::kFreeBlocks / AddressMap::kBlocksPerObjectBlock + 1; ++b)
        ASSERT_EQ(grown.define((uint64_t{b} << 20) + 8, b), AddressMap::Define::Added);
    for (m = 0; m < AddressMap::kFreeBlocks; ++m)
        ASSERT_NE(grown.compact(m << 20), AddressMap::kInvalid) << m;
    EXPECT_FALSE(grown.tooManyBlocks());
}

}  // namespace
