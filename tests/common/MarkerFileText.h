#pragma once
// Marker file texts for tests, one marker element per field record.

#include <string>
#include <vector>

namespace lanternwick::testing {

// Field texts go into the file unescaped: keep them free of markup.
struct MarkerFields {
    std::string cue;
    std::string label;
    std::string position = "0";
    std::string fade;
    std::string track = "Lights 1/ Main";
    std::string fadeOut = "-1";
};

inline std::string markerFileText(const std::vector<MarkerFields>& markers) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" "
                       "major_vers=\"5\" minor_vers=\"2\" bug_vers=\"0\">\n";
    for (const auto& m : markers) {
        text += "  <Marker MarkerTypeName=\"Cue\" TrackName=\"" + m.track + "\" Position=\"" + m.position + "\" Label=\"" +
                m.label + "\" Fade=\"" + m.fade + "\" FadeOut=\"" + m.fadeOut + "\" ManualCueID=\"" + m.cue + "\"/>\n";
    }
    return text + "</Tempolane>\n";
}

}  // namespace lanternwick::testing
