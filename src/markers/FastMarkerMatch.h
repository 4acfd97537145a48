#pragma once
// matchMarkersFast: the matching diffMarkers uses. It returns exactly what
// matchMarkersAllPairs returns (same pairs in the same acceptance order, same
// leftovers) without scoring every pair: each marker's compared fields are
// normalised once, the pairs that can score high are found by joining on cue
// id, label and position, and only the markers those leave over are compared
// against each other. Pure; callable from any thread.
// Limits: work grows with the number of markers plus the pairs that share a
// cue id, a label or a position; long runs of markers that share all three
// (or that changed beyond recognition) fall back towards all-pairs scoring of
// the leftovers, in memory linear in the number of markers.

#include <vector>

#include "markers/LightingMarker.h"
#include "markers/MarkerDiff.h"

namespace lanternwick {

MarkerMatching matchMarkersFast(const std::vector<LightingMarker>& oldMarkers,
                                const std::vector<LightingMarker>& newMarkers);

}  // namespace lanternwick
