#pragma once
// Feature sets as bit masks, and the range of sets a free marker can still
// pair under; parts of matchMarkersFast. Values and pure functions.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "markers/MatchScore.h"

namespace lanternwick::markermatch {

// A set of features, bit f for feature f.
using Mask = std::uint8_t;
inline constexpr unsigned maskCount = 1U << featureCount;

inline bool contains(Mask mask, std::size_t feature) { return ((mask >> feature) & 1U) != 0; }

// The feature sets a free marker can pair under: none that lacks a feature
// it shares with every free marker of the other side (such a pair would sum
// more, and the higher sums are done), none with a feature it cannot share.
struct MaskRange {
    Mask forced = 0;
    Mask possible = 0;

    bool admits(Mask mask) const { return (forced & ~mask) == 0 && (mask & ~possible) == 0; }
};

bool anyAdmits(const std::vector<MaskRange>& ranges, Mask mask);

// Each range that occurs among the free markers (positions into rangeOf), once.
std::vector<MaskRange> distinctRanges(const std::vector<MaskRange>& rangeOf, const std::vector<std::uint32_t>& free);

}  // namespace lanternwick::markermatch
