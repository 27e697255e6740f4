// The reuse of freed arrays between the analysis's steps, and the second thread's
// failures coming back to the caller.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "large_arrays.h"
#include "second_thread.h"

namespace {

constexpr uint64_t kLarge = 1 << 20;  // elements: 4 MiB, well above what is kept

TEST(ReuseFreedArrays, AFreedArrayServesOneLaterArrayOfAboutItsSize)
{
    const ReuseFreedArrays reuse;
    std::vector<uint32_t> first;
    assignLarge(first, kLarge, 1u);
    const uint32_t* memory = first.data();
    release(first);
    EXPECT_EQ(first.capacity(), 0u);

    std::vector<uint32_t> second;
    ASSERT_TRUE(takeFreedArray(second, kLarge - 100));
    EXPECT_EQ(second.data(), memory);
    // Kept once, handed out once.
    std::vector<uint32_t> other;
    EXPECT_FALSE(takeFreedArray(other, kLarge - 100));

    // The arrays the steps ask for take it too, and hold what they ask for.
    release(second);
    std::vector<uint32_t> third;
    assignLarge(third, kLarge - 100, 7u);
    EXPECT_EQ(third.data(), memory);
    ASSERT_EQ(third.size(), kLarge - 100);
    EXPECT_TRUE(std::all_of(third.begin(), third.end(), [](uint32_t v) { return v == 7; }));
    EXPECT_FALSE(takeFreedArray(other, kLarge - 100));
}

TEST(ReuseFreedArrays, AMuchLargerOneIsNotHeldForASmallArray)
{
    const ReuseFreedArrays reuse;
    std::vector<uint32_t> big;
    assignLarge(big, 4 * kLarge, 0u);
    release(big);
    std::vector<uint32_t> small;
    reserveLarge(small, kLarge);
    EXPECT_LT(small.capacity(), 2 * kLarge);
    // The large one went back to the system to make room, so none is left to take.
    std::vector<uint32_t> again;
    EXPECT_FALSE(takeFreedArray(again, 4 * kLarge));
}

TEST(ReuseFreedArrays, OutsideAnAnalysisFreedMeansFreed)
{
    std::vector<uint32_t> array;
    assignLarge(array, kLarge, 0u);
    EXPECT_FALSE(keepFreedArray(array));
    release(array);
    std::vector<uint32_t> other;
    EXPECT_FALSE(takeFreedArray(other, kLarge));

    // Nor is anything kept past the scope that kept it.
    {
        const ReuseFreedArrays reuse;
        assignLarge(array, kLarge, 0u);
        release(array);
    }
    const ReuseFreedArrays later;
    EXPECT_FALSE(takeFreedArray(other, kLarge));
}

TEST(SecondThread, ItsFailureComesOutOfJoin)
{
    SecondThread failing([] { throw std::runtime_error("no room"); });
    EXPECT_THROW(failing.join(), std::runtime_error);

    int done = 0;
    SecondThread working([&] { done = 1; });
    EXPECT_TRUE(working.join());
    EXPECT_EQ(done, 1);
    SecondThread none{std::function<void()>()};
    EXPECT_FALSE(none.join());
}

}  // namespace
