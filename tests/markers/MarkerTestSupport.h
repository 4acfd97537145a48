#pragma once
// Builders for marker documents used across the marker suites.

#include <string>
#include <string_view>

namespace lanternwick::testing {

inline std::string markerFile(std::string_view body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"1\" minor_vers=\"2\" "
           "bug_vers=\"3\">\n" +
           std::string(body) + "</Tempolane>\n";
}

struct MarkerFields {
    std::string track = "1/ Lights";
    std::string cue = "1";
    std::string label = "Intro";
    std::string position = "10";
    std::string fade = "2";
    std::string fadeOut = "";
    std::string type = "Cue";
};

inline std::string markerElement(const MarkerFields& m) {
    return "  <Marker MarkerTypeName=\"" + m.type + "\" TrackName=\"" + m.track + "\" Position=\"" + m.position +
           "\" Label=\"" + m.label + "\" Fade=\"" + m.fade + "\" FadeOut=\"" + m.fadeOut + "\" ManualCueID=\"" + m.cue +
           "\"/>\n";
}

}  // namespace lanternwick::testing
