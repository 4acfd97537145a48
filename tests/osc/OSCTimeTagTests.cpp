#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

#include "osc/OSCTimeTag.h"

namespace lanternwick {
namespace {

using Clock = OSCTimeTag::Clock;

Clock::time_point unixSeconds(std::int64_t seconds) { return Clock::time_point(std::chrono::seconds(seconds)); }

// 32.32 fixed point counted from 1900-01-01 UTC in eras of 2^32 seconds. Times
// before the epoch, and no time at all, are 0; beyond what an era or the clock
// can hold, values saturate instead of overflowing a conversion.
TEST(OSCTimeTagConversion, SecondsErasAndSaturation) {
    const OSCTimeTag latest{std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::uint64_t>::max()};
    const std::pair<double, OSCTimeTag> fromSeconds[] = {
        {10.5, {0, 0xA80000000u}}, {-3, {0, 0}}, {std::nan(""), {0, 0}}, {INFINITY, latest}, {1e300, latest},
        {4294967295.0, {0, std::uint64_t{4294967295} << 32}}, {4294967296.0 + 5, {1, std::uint64_t{5} << 32}},
    };
    for (const auto& [seconds, tag] : fromSeconds) EXPECT_EQ(OSCTimeTag::fromSecondsSinceEpoch(seconds), tag) << seconds;
    EXPECT_GT(OSCTimeTag::fromSecondsSinceEpoch(1e28).era, 2'000'000'000'000'000'000);  // still representable

    // The Unix epoch lies 2,208,988,800 s after the NTP one wherever the
    // machine is; NTP era 1 starts on 2036-02-07T06:28:16Z.
    const std::pair<OSCTimeTag, Clock::time_point> instants[] = {
        {{0, std::uint64_t{2208988800} << 32}, unixSeconds(0)},
        {{1, 0}, unixSeconds(2085978496)},
        {{1, std::uint64_t{7} << 32}, unixSeconds(2085978496 + 7)},
    };
    for (const auto& [tag, instant] : instants) {
        EXPECT_EQ(tag.instant(), instant);
        EXPECT_EQ(OSCTimeTag::fromInstant(instant), tag);
    }
    for (const OSCTimeTag& far : {OSCTimeTag{3, 0}, latest}) EXPECT_EQ(far.instant(), Clock::time_point::max());
    EXPECT_EQ((OSCTimeTag{-2, 2}).instant(), Clock::time_point::min());

    const auto instant = unixSeconds(1767225600) + std::chrono::microseconds(123456);
    EXPECT_LT(std::chrono::abs(OSCTimeTag::fromInstant(instant).instant() - instant), std::chrono::microseconds(1));
}

// Tags relative to now (future, past, immediate) are judged by the OSC TCP
// client's tests, which hold bundles back until their time.

}  // namespace
}  // namespace lanternwick
