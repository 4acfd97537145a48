#include "soak/SoakShow.h"

#include <algorithm>
#include <cstdio>

namespace lanternwick::soak {
namespace {

std::string attribute(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

}  // namespace

std::string showText(const std::vector<ShowMarker>& markers, std::string_view extra) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"1\" minor_vers=\"2\" "
        "bug_vers=\"3\">\n";
    for (const ShowMarker& m : markers) {
        text += "  <Marker MarkerTypeName=\"Cue\" TrackName=\"" + attribute(m.track) + "\" Position=\"" +
                attribute(m.position) + "\" Label=\"" + attribute(m.label) + "\" Fade=\"" + attribute(m.fade) +
                "\" FadeOut=\"" + attribute(m.fadeOut) + "\" ManualCueID=\"" + attribute(m.cue) + "\"/>\n";
    }
    text += extra;
    text += "</Tempolane>\n";
    return text;
}

ShowMarker numberedMarker(int n) {
    return {.cue = std::to_string(n),
            .label = "Cue " + std::to_string(n),
            .position = std::to_string(10 * n),
            .fade = "2"};
}

std::vector<ShowMarker> numberedShow(int count) {
    std::vector<ShowMarker> markers;
    for (int n = 1; n <= count; ++n) {
        markers.push_back(numberedMarker(n));
    }
    return markers;
}

sim::SimulatedCue expectedCue(const ShowMarker& marker) {
    const int seconds = std::stoi(marker.position);
    char timecode[32];
    std::snprintf(timecode, sizeof timecode, "%02d:%02d:%02d:00", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return {1, marker.cue, trimmed(marker.label), marker.fade, timecode};
}

std::vector<sim::SimulatedCue> expectedCues(const std::vector<ShowMarker>& markers) {
    std::vector<sim::SimulatedCue> cues;
    for (const ShowMarker& marker : markers) {
        if (marker.cue.empty()) {
            continue;
        }
        const auto same = std::find_if(cues.begin(), cues.end(),
                                       [&](const sim::SimulatedCue& cue) { return cue.cueNumber == marker.cue; });
        if (same != cues.end()) {
            *same = expectedCue(marker);
        } else {
            cues.push_back(expectedCue(marker));
        }
    }
    sortInConsoleOrder(cues);
    return cues;
}

void sortInConsoleOrder(std::vector<sim::SimulatedCue>& cues) {
    std::sort(cues.begin(), cues.end(), [](const sim::SimulatedCue& a, const sim::SimulatedCue& b) {
        return a.cueList != b.cueList ? a.cueList < b.cueList : std::stod(a.cueNumber) < std::stod(b.cueNumber);
    });
}

}  // namespace lanternwick::soak
