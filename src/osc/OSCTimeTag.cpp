#include "osc/OSCTimeTag.h"

#include <cmath>
#include <limits>

namespace lanternwick {
namespace {

constexpr double fractionScale = 4294967296.0;

double secondsSinceNTPEpoch(OSCTimeTag::Clock::time_point instant) {
    const std::chrono::duration<double> sinceUnix = instant.time_since_epoch();
    return sinceUnix.count() + static_cast<double>(OSCTimeTag::ntpEpochToUnixEpochSeconds);
}

std::uint64_t fixedPoint(double secondsWithinEra) {
    const double scaled = secondsWithinEra * fractionScale;
    // Rounding can land exactly on 2^64 just below an era boundary.
    if (scaled >= 18446744073709551615.0) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return static_cast<std::uint64_t>(scaled);
}

}  // namespace

OSCTimeTag OSCTimeTag::fromSecondsSinceEpoch(double x) {
    if (!(x > 0)) {
        return OSCTimeTag{0, 0};
    }
    if (x < secondsPerEra) {
        return OSCTimeTag{0, fixedPoint(x)};
    }
    // Beyond the last era (or infinite): the latest tag there is, rather
    // than a conversion that overflows.
    if (!(x < secondsPerEra * 9223372036854775808.0)) {
        return OSCTimeTag{std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::uint64_t>::max()};
    }
    const double era = std::trunc(x / secondsPerEra);
    const double remainder = x - era * secondsPerEra;
    return OSCTimeTag{static_cast<std::int64_t>(era), fixedPoint(remainder)};
}

OSCTimeTag OSCTimeTag::fromInstant(Clock::time_point instant) {
    return fromSecondsSinceEpoch(secondsSinceNTPEpoch(instant));
}

OSCTimeTag OSCTimeTag::now() { return fromInstant(Clock::now()); }

OSCTimeTag OSCTimeTag::secondsFromNow(double seconds) {
    return fromSecondsSinceEpoch(secondsSinceNTPEpoch(Clock::now()) + seconds);
}

double OSCTimeTag::secondsSinceEpoch() const {
    return static_cast<double>(rawValue) / fractionScale + static_cast<double>(era) * secondsPerEra;
}

OSCTimeTag::Clock::time_point OSCTimeTag::instant() const {
    if (isImmediate()) {
        return Clock::now();
    }
    const double sinceUnix = secondsSinceEpoch() - static_cast<double>(ntpEpochToUnixEpochSeconds);
    // The clock spans only a few centuries around 1970; an era far away
    // saturates instead of overflowing the conversion.
    const std::chrono::duration<double> span(sinceUnix);
    if (span >= std::chrono::duration<double>(Clock::duration::max())) return Clock::time_point::max();
    if (span <= std::chrono::duration<double>(Clock::duration::min())) return Clock::time_point::min();
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(span));
}

double OSCTimeTag::secondsUntil() const {
    if (isImmediate()) {
        return 0;
    }
    return secondsSinceEpoch() - secondsSinceNTPEpoch(Clock::now());
}

bool OSCTimeTag::isFuture() const {
    if (isImmediate()) {
        return false;
    }
    return now().rawValue < rawValue;
}

std::string OSCTimeTag::description() const {
    if (isImmediate()) {
        return "1 (immediate)";
    }
    std::string text = std::to_string(rawValue);
    if (era != 0) {
        text += "-era:" + std::to_string(era);
    }
    return text;
}

}  // namespace lanternwick
