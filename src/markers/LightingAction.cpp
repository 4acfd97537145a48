#include "markers/LightingAction.h"

#include "support/TextRules.h"

namespace lanternwick {
namespace {

void cap(std::string& text) {
    if (text.size() > keptTextLimit) text = cappedText(text);
}

void cap(std::optional<std::string>& text) {
    if (text) cap(*text);
}

}  // namespace

LightingAction keptAction(LightingAction action) {
    cap(action.summary);
    cap(action.details);
    for (auto* value : {&action.oldCueID, &action.newCueID, &action.oldLabel, &action.newLabel, &action.oldFadeTime,
                        &action.newFadeTime, &action.oldFadeOutTime, &action.newFadeOutTime, &action.oldPosition,
                        &action.newPosition}) {
        cap(*value);
    }
    return action;
}

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
