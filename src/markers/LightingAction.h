#pragma once
// LightingAction: one structured change found by the marker diff, with the
// old and new values the console commands need. Which optional fields are
// present depends on the kind; texts are trimmed. A plain value.
// The console is sent the values whole; a log keeps keptAction's copy, whose
// every text is capped (support/TextRules.h, keptTextLimit), so a megabyte
// label costs a log a few KiB.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/Uuid.h"

namespace lanternwick {

struct LightingAction {
    enum class Kind {
        markerAdded,
        markerDeleted,
        manualCueIDChanged,
        fadeChanged,
        positionChanged,
        nameChanged,
        trackNameChanged,
        unknown,
    };

    Uuid id;
    Kind kind = Kind::unknown;
    std::string summary;
    std::string details;
    std::optional<std::int64_t> oldCueList;
    std::optional<std::int64_t> newCueList;
    std::optional<std::string> oldCueID;
    std::optional<std::string> newCueID;
    std::optional<std::string> oldLabel;
    std::optional<std::string> newLabel;
    std::optional<std::string> oldFadeTime;
    std::optional<std::string> newFadeTime;
    std::optional<std::string> oldFadeOutTime;
    std::optional<std::string> newFadeOutTime;
    std::optional<std::string> oldPosition;
    std::optional<std::string> newPosition;
    std::optional<double> oldTimeCodeOffsetSeconds;
    std::optional<double> newTimeCodeOffsetSeconds;

    friend bool operator==(const LightingAction&, const LightingAction&) = default;
};

// The action with every text capped to keptTextLimit bytes.
LightingAction keptAction(LightingAction action);

// "Marker Added", "Fade Changed", ...
std::string_view displayName(LightingAction::Kind kind);

}  // namespace lanternwick
