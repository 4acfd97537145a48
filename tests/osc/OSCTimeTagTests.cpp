#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

#include "osc/OSCTimeTag.h"

namespace lanternwick {
namespace {

using Clock = OSCTimeTag::Clock;

Clock::time_point unixSeconds(std::int64_t seconds) { return Clock::time_point(std::chrono::seconds(seconds)); }

// 32.32 fixed point; times before the epoch, and no time at all, are 0.
TEST(OSCTimeTagConversion, SecondsSinceNTPEpoch) {
    EXPECT_EQ(OSCTimeTag::fromSecondsSinceEpoch(10.5), (OSCTimeTag{0, 0xA80000000u}));
    EXPECT_EQ(OSCTimeTag::fromSecondsSinceEpoch(-3), (OSCTimeTag{0, 0}));
    EXPECT_EQ(OSCTimeTag::fromSecondsSinceEpoch(std::nan("")), (OSCTimeTag{0, 0}));
}

// Beyond what an era or the clock can hold, values saturate instead of
// overflowing a conversion.
TEST(OSCTimeTagConversion, FarTimesSaturate) {
    const OSCTimeTag latest{std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::uint64_t>::max()};
    EXPECT_EQ(OSCTimeTag::fromSecondsSinceEpoch(INFINITY), latest);
    EXPECT_EQ(OSCTimeTag::fromSecondsSinceEpoch(1e300), latest);
    EXPECT_GT(OSCTimeTag::fromSecondsSinceEpoch(1e28).era, 2'000'000'000'000'000'000);  // still representable
    EXPECT_EQ((OSCTimeTag{3, 0}).instant(), Clock::time_point::max());
    EXPECT_EQ(latest.instant(), Clock::time_point::max());
    EXPECT_EQ((OSCTimeTag{-2, 2}).instant(), Clock::time_point::min());
}

// The NTP epoch is midnight UTC: the Unix epoch lies 2,208,988,800 seconds
// after it wherever the machine is.
TEST(OSCTimeTagConversion, EpochIsNineteenHundredUTC) {
    EXPECT_EQ(OSCTimeTag::fromInstant(unixSeconds(0)), (OSCTimeTag{0, std::uint64_t{2208988800} << 32}));
    EXPECT_EQ((OSCTimeTag{0, std::uint64_t{2208988800} << 32}).instant(), unixSeconds(0));
}

// An era is 2^32 seconds: NTP era 1 starts on 2036-02-07T06:28:16Z.
TEST(OSCTimeTagConversion, ErasAreTwoToTheThirtyTwoSeconds) {
    EXPECT_EQ(OSCTimeTag::fromSecondsSinceEpoch(4294967296.0 + 5), (OSCTimeTag{1, std::uint64_t{5} << 32}));
    EXPECT_EQ(OSCTimeTag::fromSecondsSinceEpoch(4294967295.0), (OSCTimeTag{0, std::uint64_t{4294967295} << 32}));
    EXPECT_EQ(OSCTimeTag::fromInstant(unixSeconds(2085978496)), (OSCTimeTag{1, 0}));
    EXPECT_EQ((OSCTimeTag{1, std::uint64_t{7} << 32}).instant(), unixSeconds(2085978496 + 7));
}

TEST(OSCTimeTagConversion, InstantRoundTripKeepsSubMicrosecondPrecision) {
    const auto instant = unixSeconds(1767225600) + std::chrono::microseconds(123456);
    const auto back = OSCTimeTag::fromInstant(instant).instant();
    EXPECT_LT(std::chrono::abs(back - instant), std::chrono::microseconds(1));
}

TEST(OSCTimeTagRelative, ImmediateFutureAndPast) {
    const auto before = Clock::now();
    const auto named = OSCTimeTag::immediate().instant();
    EXPECT_GE(named, before);
    EXPECT_LE(named, Clock::now());
    EXPECT_FALSE(OSCTimeTag::immediate().isFuture());
    EXPECT_TRUE(OSCTimeTag::secondsFromNow(10).isFuture());
    EXPECT_NEAR(OSCTimeTag::secondsFromNow(-4).secondsUntil(), -4, 0.5);
    EXPECT_EQ((OSCTimeTag{3, 1}).description(), "1 (immediate)");
}

}  // namespace
}  // namespace lanternwick
