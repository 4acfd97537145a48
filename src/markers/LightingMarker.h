#pragma once
// LightingMarker: one Marker element of a Tempolane marker file, with the cue
// list and time-code offset read out of its track name. A plain value, copied
// freely. parseMarkers holds the whole text in memory and runs on the
// caller's thread; it never resolves external entities and refuses entity
// expansion bombs (the parser reports them as malformed).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lanternwick {

struct LightingMarker {
    std::int64_t index = 0;
    std::string markerTypeName;
    std::string trackName;
    std::optional<std::int64_t> cueList;
    std::string timeCodeOffset = "0";
    double timeCodeOffsetSeconds = 0;
    std::string positionRaw;
    std::string label;
    std::string fadeRaw;
    std::string fadeOutRaw;
    std::string manualCueID;
    std::optional<double> position;
    std::optional<double> fade;
    std::optional<double> fadeOut;

    friend bool operator==(const LightingMarker&, const LightingMarker&) = default;
};

// Attribute names as written (qualified names keep their prefix) to values as
// the XML parser delivers them.
using MarkerAttributes = std::map<std::string, std::string, std::less<>>;

// Markers with a cue list, in document order; absent when the XML is not well
// formed. Markers without a cue list are dropped but still use up an index.
std::optional<std::vector<LightingMarker>> parseMarkers(std::string_view text);

LightingMarker markerFromAttributes(std::int64_t index, const MarkerAttributes& attributes);

// "HH:MM:SS:FF" at 30 frames per second, or exactly "0"; hours are unbounded.
std::optional<double> timeCodeSeconds(std::string_view text);

}  // namespace lanternwick
