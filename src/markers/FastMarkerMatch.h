#pragma once
// matchMarkersFast: the matching diffMarkers uses. It returns exactly what
// matchMarkersAllPairs returns (same pairs in the same acceptance order, same
// leftovers) without scoring every pair. The score is a sum of weighted field
// equalities, so pairs are taken one sum at a time, highest first: the free
// markers that agree on a set of fields of that sum form groups of equal
// keys, and within a group, where every old marker pairs with every new one,
// the best pair lies between neighbouring indexes. Markers that share values
// (one label throughout, identical markers) cost no more than distinct ones.
// Pure; callable from any thread.
// Limits: time and memory grow linearly with the markers, times the few
// field sets that can still pair at each sum (at most 256); an old number
// within the tolerance of several distinct new numbers joins a group for
// each, so runs of distinct positions or fades closer together than 0.0001
// cost the square of the run, as scoring every pair would.

#include <vector>

#include "markers/LightingMarker.h"
#include "markers/MarkerDiff.h"

namespace lanternwick {

MarkerMatching matchMarkersFast(const std::vector<LightingMarker>& oldMarkers,
                                const std::vector<LightingMarker>& newMarkers);

}  // namespace lanternwick
