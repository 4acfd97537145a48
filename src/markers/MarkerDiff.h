#pragma once
// MarkerDiff and diffMarkers: what changed between two texts of the marker
// file, as LightingActions, plus the cues to look up on a first snapshot and
// the cues that may have to be deleted. Pure: reads nothing but its
// arguments; runs on the caller's thread (the main thread in the app).
// Matching gives the result of scoring every old marker against every new
// one without doing so for the markers that an edit leaves alike.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "markers/LightingAction.h"
#include "markers/LightingChangeEvent.h"
#include "markers/LightingMarker.h"

namespace lanternwick {

struct CueLookupRequest {
    std::int64_t cueList = 0;
    std::string cueNumber;

    friend bool operator==(const CueLookupRequest&, const CueLookupRequest&) = default;
};

struct CueDeletionCandidate {
    std::int64_t cueList = 0;
    std::string cueNumber;

    friend bool operator==(const CueDeletionCandidate&, const CueDeletionCandidate&) = default;
};

struct CueReference {
    std::int64_t cueList = 0;
    std::string cueNumber;

    friend bool operator==(const CueReference&, const CueReference&) = default;
};

struct MarkerDiff {
    std::vector<LightingAction> actions;
    std::optional<std::int64_t> oldCount;
    std::optional<std::int64_t> newCount;
    std::optional<std::string> parseIssue;
    std::vector<CueLookupRequest> cueLookupRequests;
    std::vector<CueDeletionCandidate> deletedCueCandidates;

    friend bool operator==(const MarkerDiff&, const MarkerDiff&) = default;
};

struct MarkerMatchCandidate {
    std::int64_t oldIndex = 0;
    std::int64_t newIndex = 0;
    std::int64_t score = 0;
    std::int64_t indexDistance = 0;

    friend bool operator==(const MarkerMatchCandidate&, const MarkerMatchCandidate&) = default;
};

// Positions in the old and the new marker list.
struct MarkerPair {
    std::size_t oldPosition = 0;
    std::size_t newPosition = 0;

    friend bool operator==(const MarkerPair&, const MarkerPair&) = default;
};

struct MarkerMatching {
    std::vector<MarkerPair> pairs;         // in acceptance order
    std::vector<std::size_t> unmatchedOld;  // ascending
    std::vector<std::size_t> unmatchedNew;  // ascending

    friend bool operator==(const MarkerMatching&, const MarkerMatching&) = default;
};

// Only kind == modified compares two texts; every other kind is a first
// snapshot of newText.
MarkerDiff diffMarkers(std::optional<std::string_view> previousText, std::string_view newText,
                       LightingChangeEvent::Kind kind);

// A text's markers, or nullopt when the text does not parse.
using ParsedMarkers = std::optional<std::vector<LightingMarker>>;

// diffMarkers on texts parsed already: previousMarkers is null when there is
// no previous text. A caller that keeps the markers of the text it last saw
// parses each text once instead of twice.
MarkerDiff diffMarkerSnapshots(const ParsedMarkers* previousMarkers, const ParsedMarkers& newMarkers,
                               LightingChangeEvent::Kind kind);

// The diff of two lists that both parsed (the modified path after parsing).
MarkerDiff diffParsedMarkers(const std::vector<LightingMarker>& oldMarkers,
                             const std::vector<LightingMarker>& newMarkers);

std::int64_t matchScore(const LightingMarker& oldMarker, const LightingMarker& newMarker);

// The matching diffMarkers uses.
MarkerMatching matchMarkers(const std::vector<LightingMarker>& oldMarkers,
                            const std::vector<LightingMarker>& newMarkers);

// The plain matching: scores all pairs, keeps those above 54, sorts them
// stably by score then index distance, accepts greedily. Kept as the
// reference that faster matchings are checked against.
MarkerMatching matchMarkersAllPairs(const std::vector<LightingMarker>& oldMarkers,
                                    const std::vector<LightingMarker>& newMarkers);

std::string markerDescription(const LightingMarker& marker);
std::string changeDescription(const LightingMarker& oldMarker, const LightingMarker& newMarker);
std::string markerSignature(const LightingMarker& marker);

std::vector<CueLookupRequest> lookupRequestsFor(const std::vector<LightingMarker>& markers);

// The list in decimal, "|", the number text as given.
std::string cueKey(std::int64_t cueList, std::string_view cueNumber);

// True when the trimmed id is non-empty and is not a number equal to 0.
bool isMeaningfulCueID(std::string_view cueID);

// The console cue a cue id addresses in its list, as a key: "3", "3.0" and
// "03" (or "5é" and "5e") are one cue.
std::string consoleCueKey(std::int64_t cueList, std::string_view cueID);
// The keys of the console cues the markers address with a meaningful cue id.
std::unordered_set<std::string> consoleCueKeys(const std::vector<LightingMarker>& markers);

}  // namespace lanternwick

template <>
struct std::hash<lanternwick::CueReference> {
    std::size_t operator()(const lanternwick::CueReference& reference) const noexcept {
        const std::size_t listHash = std::hash<std::int64_t>{}(reference.cueList);
        return listHash ^ (std::hash<std::string>{}(reference.cueNumber) + 0x9e3779b97f4a7c15ULL +
                           (listHash << 6) + (listHash >> 2));
    }
};
