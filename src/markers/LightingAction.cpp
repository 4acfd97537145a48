#include "markers/LightingAction.h"

namespace lanternwick {

std::string_view displayName(LightingAction::Kind kind) {
    switch (kind) {
        case LightingAction::Kind::markerAdded: return "Marker Added";
        case LightingAction::Kind::markerDeleted: return "Marker Deleted";
        case LightingAction::Kind::manualCueIDChanged: return "ManualCueID Changed";
        case LightingAction::Kind::fadeChanged: return "Fade Changed";
        case LightingAction::Kind::positionChanged: return "Position Changed";
        case LightingAction::Kind::nameChanged: return "Name Changed";
        case LightingAction::Kind::trackNameChanged: return "TrackName Changed";
        case LightingAction::Kind::unknown: return "Unrecognized Change";
    }
    return "Unrecognized Change";
}

}  // namespace lanternwick
