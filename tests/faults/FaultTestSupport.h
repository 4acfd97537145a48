#pragma once
// Marker shows and the cue tables they should leave on the console, shared
// by the fault suites.

#include <cstdint>
#include <string>
#include <vector>

#include "console-sim/CueTable.h"
#include "markers/MarkerTestSupport.h"

namespace lanternwick::faults {

using testing::MarkerSpec;

inline std::string show(const std::vector<MarkerSpec>& markers, std::string_view extra = "") {
    std::string body;
    for (const MarkerSpec& marker : markers) {
        body += testing::markerElement(marker);
    }
    return testing::markerFile(body + std::string(extra));
}

// Cue n of list 1 with label "Cue n", fade 2 and a position of 10 * n seconds.
inline MarkerSpec numberedMarker(int n) {
    MarkerSpec marker;
    marker.cue = std::to_string(n);
    marker.label = "Cue " + std::to_string(n);
    marker.position = std::to_string(10 * n);
    marker.fade = "2";
    return marker;
}

inline std::vector<MarkerSpec> numberedShow(int count) {
    std::vector<MarkerSpec> markers;
    for (int n = 1; n <= count; ++n) {
        markers.push_back(numberedMarker(n));
    }
    return markers;
}

// What the console should hold for a show of plain markers on list 1 with
// whole-second positions under ten hours and no fade-out.
inline std::vector<sim::SimulatedCue> expectedCues(const std::vector<MarkerSpec>& markers) {
    std::vector<sim::SimulatedCue> cues;
    for (const MarkerSpec& marker : markers) {
        const int seconds = std::stoi(marker.position);
        char timecode[32];
        std::snprintf(timecode, sizeof timecode, "%02d:%02d:%02d:00", seconds / 3600, seconds / 60 % 60, seconds % 60);
        cues.push_back({1, marker.cue, marker.label, marker.fade, timecode});
    }
    std::sort(cues.begin(), cues.end(), [](const sim::SimulatedCue& a, const sim::SimulatedCue& b) {
        return std::stod(a.cueNumber) < std::stod(b.cueNumber);
    });
    return cues;
}

inline bool hasRefusals(const std::string& consoleLog) {
    return consoleLog.find("\"event\":\"refused\"") != std::string::npos ||
           consoleLog.find("\"event\":\"unterminated\"") != std::string::npos;
}

}  // namespace lanternwick::faults
