#pragma once
// OSCTimeTag: an OSC time tag, NTP time. `rawValue` is 32.32 fixed-point
// seconds within the era; an era is 2^32 seconds counted from
// 1900-01-01 00:00:00 UTC. Only `rawValue` travels on the wire, so a tag
// read from bytes has era 0. rawValue 1 means "immediately". A plain value,
// usable from any thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace lanternwick {

struct OSCTimeTag {
    std::int64_t era = 0;
    std::uint64_t rawValue = 1;

    using Clock = std::chrono::system_clock;

    static constexpr std::uint64_t immediateRawValue = 1;
    static constexpr double secondsPerEra = 4294967296.0;
    // Seconds from the Unix epoch back to the NTP epoch.
    static constexpr std::int64_t ntpEpochToUnixEpochSeconds = 2208988800;

    static OSCTimeTag immediate() { return OSCTimeTag{0, immediateRawValue}; }
    static OSCTimeTag now();
    static OSCTimeTag fromInstant(Clock::time_point instant);
    static OSCTimeTag fromSecondsSinceEpoch(double seconds);
    static OSCTimeTag secondsFromNow(double seconds);

    bool isImmediate() const { return rawValue == immediateRawValue; }
    // The immediate tag names the current instant.
    Clock::time_point instant() const;
    double secondsSinceEpoch() const;
    // Negative when the tag lies in the past.
    double secondsUntil() const;
    // Compares raw values only, as peers that ignore eras do.
    bool isFuture() const;

    // "1 (immediate)", or the raw value, with "-era:" and the era when not 0.
    std::string description() const;

    friend bool operator==(const OSCTimeTag&, const OSCTimeTag&) = default;
};

}  // namespace lanternwick

template <>
struct std::hash<lanternwick::OSCTimeTag> {
    std::size_t operator()(const lanternwick::OSCTimeTag& tag) const noexcept {
        return std::hash<std::uint64_t>{}(tag.rawValue) ^ (std::hash<std::int64_t>{}(tag.era) * 31u);
    }
};
