// Memory faulted in ahead of an analysis: held within its target, only once allowed to
// start, and all given back.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "warm_pages.h"

namespace {

constexpr uint64_t kMB = uint64_t{1} << 20;

// Waits up to 20 s for held() to reach at least bytes; what it reached.
template <class Held>
uint64_t waitToHold(Held held, uint64_t bytes)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (held() < bytes && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return held();
}

}  // namespace

TEST(WarmPages, HoldsWhatItsTargetLeavesAndGivesItAllBack)
{
    const uint64_t before = residentBytes();
    ASSERT_GT(before, 0u);
    const int priority = getpriority(PRIO_PROCESS, 0);
    WarmPages warm([before] { return before + 64 * kMB; });
    const uint64_t held = waitToHold([&] { return warm.heldBytes(); }, 48 * kMB);
    // Only the warming thread gave up its priority, not the reader that started it.
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), priority);
    EXPECT_GE(held, 48 * kMB);
    // Never past the target: what the rest of the process holds counts against it.
    EXPECT_LE(held, 64 * kMB);
    EXPECT_GE(residentBytes(), before + 40 * kMB);

    warm.release();
    EXPECT_EQ(warm.heldBytes(), 0u);
    EXPECT_GE(warm.mostBytes(), held);
    EXPECT_LE(warm.mostBytes(), 64 * kMB);
    EXPECT_LT(residentBytes(), before + warm.mostBytes() - 32 * kMB);
}

TEST(WarmPages, WaitsUntilAllowedToStart)
{
    std::atomic<bool> allowed{false};
    std::atomic<int> asked{0};
    const uint64_t before = residentBytes();
    WarmPages warm([before] { return before + 32 * kMB; }, [&] {
        ++asked;
        return allowed.load();
    });
    waitToHold([&] { return static_cast<uint64_t>(asked.load()); }, 5);
    EXPECT_GE(asked.load(), 5);
    EXPECT_EQ(warm.heldBytes(), 0u);

    allowed = true;
    EXPECT_GE(waitToHold([&] { return warm.heldBytes(); }, 16 * kMB), 16 * kMB);
}

TEST(WarmPages, ATargetBelowWhatIsHeldAlreadyWarmsNothing)
{
    WarmPages warm([] { return uint64_t{1} * kMB; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(warm.heldBytes(), 0u);
    warm.release();
    warm.release();  // twice is harmless, as the destructor does it again
    EXPECT_EQ(warm.mostBytes(), 0u);
}
