#include "ShowText.h"

#include <cstdio>

namespace lanternwick::bench {
namespace {

std::string markerElement(std::string_view cue, std::string_view label, double position, std::string_view fade) {
    char positionText[32];
    std::snprintf(positionText, sizeof positionText, "%.3f", position);
    std::string element = "  <Marker MarkerTypeName=\"Cue\" TrackName=\"1/ Lights 01:00:00:00\" Position=\"";
    element += positionText;
    element += "\" Label=\"";
    element += label;
    element += "\" Fade=\"";
    element += fade;
    element += "\" FadeOut=\"\" ManualCueID=\"";
    element += cue;
    element += "\" Color=\"#FFB000\" Locked=\"false\" Flags=\"0\"/>\n";
    return element;
}

struct ShowMarker {
    std::string cue;
    std::string label;
    double position = 0;
};

ShowMarker shapedMarker(ShowShape shape, std::size_t k) {
    const std::string number = std::to_string(k + 1);
    const double position = 10.0 + 2.5 * static_cast<double>(k);
    const std::string group = std::to_string(k % 4 + 1);
    switch (shape) {
        case ShowShape::distinct: break;
        case ShowShape::sameLabel: return {number, "Go", position};
        case ShowShape::sameCueID: return {"1", "Look " + number, position};
        case ShowShape::samePosition: return {number, "Look " + number, 10.0};
        case ShowShape::identical: return {"1", "Go", 10.0};
        case ShowShape::fewGroups: return {group, "Song " + group, 10.0 + 2.5 * static_cast<double>(k % 4)};
    }
    return {number, "Look " + number, position};
}

}  // namespace

std::string_view shapeName(ShowShape shape) {
    switch (shape) {
        case ShowShape::distinct: return "distinct";
        case ShowShape::sameLabel: return "sameLabel";
        case ShowShape::sameCueID: return "sameCueID";
        case ShowShape::samePosition: return "samePosition";
        case ShowShape::identical: return "identical";
        case ShowShape::fewGroups: return "fewGroups";
    }
    return "distinct";
}

std::string_view editName(ShowEdit edit) {
    switch (edit) {
        case ShowEdit::none: return "unchanged";
        case ShowEdit::oneEdit: return "oneEdit";
        case ShowEdit::insertAtTop: return "insertAtTop";
        case ShowEdit::everyMarkerChanged: return "everyMarkerChanged";
        case ShowEdit::everyMarkerReplaced: return "everyMarkerReplaced";
    }
    return "unchanged";
}

std::string showText(std::size_t markerCount, ShowEdit edit, ShowShape shape) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"1\" minor_vers=\"2\" "
        "bug_vers=\"3\">\n";
    text.reserve(markerCount * 190 + 200);
    if (edit == ShowEdit::insertAtTop) text += markerElement("0.5", "Preshow", 0.0, "0");
    for (std::size_t k = 0; k < markerCount; ++k) {
        const ShowMarker marker = shapedMarker(shape, k);
        if (edit == ShowEdit::everyMarkerReplaced) {
            const std::string number = std::to_string(k + 1 + markerCount);
            text += markerElement(number, "Scene " + number, marker.position + 100.3, "2");
            continue;
        }
        const bool changed = edit == ShowEdit::everyMarkerChanged || (edit == ShowEdit::oneEdit && k == markerCount / 2);
        const double shift = edit == ShowEdit::everyMarkerChanged ? 0.5 : 0.0;
        text += markerElement(marker.cue, marker.label, marker.position + shift, changed ? "3" : "2");
    }
    text += "</Tempolane>\n";
    return text;
}

}  // namespace lanternwick::bench
