#pragma once
// MatchScore: how much an old and a new marker look alike. One home for the
// weights, the threshold and the number tolerance, so that the pair-by-pair
// matcher (matchMarkersAllPairs) and the fast one (matchMarkersFast) cannot
// drift apart. Constants and a pure helper; usable from any thread.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace lanternwick::markermatch {

// The compared fields, in the order of their weights below.
enum Feature : std::size_t {
    cueListFeature,
    typeFeature,
    trackFeature,
    cueIDFeature,
    labelFeature,
    positionFeature,
    fadeFeature,
    fadeOutFeature,
    featureCount
};

// The fast matcher takes pairs one sum of these at a time and relies on
// every weight being a multiple of 5 (checked where it does so).
inline constexpr std::array<std::int64_t, featureCount> featureWeights{40, 20, 20, 45, 30, 25, 5, 5};
// Orders pairs of one sum: a marker that kept its place wins the tie.
inline constexpr std::int64_t equalIndexBonus = 3;
// A pair is a match only when its score is above this.
inline constexpr std::int64_t matchThreshold = 54;
// Numbers this close count as one value, so a position read back from its
// decimal text with a different last bit is not an edit.
inline constexpr double sameValueTolerance = 0.0001;

constexpr std::int64_t weightOf(Feature feature) { return featureWeights[feature]; }

// Both absent, or both present and within the tolerance.
inline bool sameValue(const std::optional<double>& a, const std::optional<double>& b) {
    if (!a || !b) return !a && !b;
    return std::fabs(*a - *b) <= sameValueTolerance;
}

}  // namespace lanternwick::markermatch
