#pragma once
// matchMarkersFast: the matching diffMarkers uses. It returns exactly what
// matchMarkersAllPairs returns (same pairs in the same acceptance order, same
// leftovers) without scoring every pair: each marker's compared fields are
// normalised once, the pairs that can score high are found by joining on cue
// id, label and position, and the markers those leave over are paired
// through groups of equal list, type, track and fades, nearest index first.
// Pure; callable from any thread.
// Limits: work grows with the number of markers, the pairs that share a cue
// id, a label or a position (long runs of markers equal in those cost the
// square of the run), and the leftovers times the number of such groups
// among them; memory stays linear in the markers plus the joined pairs.

#include <vector>

#include "markers/LightingMarker.h"
#include "markers/MarkerDiff.h"

namespace lanternwick {

MarkerMatching matchMarkersFast(const std::vector<LightingMarker>& oldMarkers,
                                const std::vector<LightingMarker>& newMarkers);

}  // namespace lanternwick
