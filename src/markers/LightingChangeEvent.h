#pragma once
// LightingChangeEvent: one entry of the monitor's event log, immutable once
// built; and XMLLikeAnalysis, the loose textual look at the file content
// (counts, most frequent tags and attribute keys) that the event texts are
// made of. The analysis works on any text, XML or not. Pure functions, run on
// the main thread by the monitor's poll.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "markers/LightingAction.h"
#include "support/Uuid.h"

namespace lanternwick {

struct MarkerDiff;

struct LightingChangeEvent {
    enum class Kind { initial, modified, created, deleted, unreadable };

    Uuid id;
    std::chrono::system_clock::time_point timestamp;
    Kind kind = Kind::initial;
    std::string summary;
    std::string details;
    std::vector<LightingAction> actions;

    friend bool operator==(const LightingChangeEvent&, const LightingChangeEvent&) = default;
};

// The event as a log keeps it: summary, details and every action's texts
// capped to keptTextLimit bytes (support/TextRules.h), whatever the file held.
LightingChangeEvent keptEvent(LightingChangeEvent event);

// "Initial Snapshot", "Modified", "Created", "Deleted", "Read Error".
std::string_view displayName(LightingChangeEvent::Kind kind);

struct XMLLikeAnalysis {
    std::string text;
    std::int64_t byteCount = 0;
    std::int64_t lineCount = 0;
    std::int64_t nonEmptyLineCount = 0;
    std::optional<std::string> rootElement;
    std::string topTagSummary;
    std::string topAttributeKeySummary;
    std::string preview;

    friend bool operator==(const XMLLikeAnalysis&, const XMLLikeAnalysis&) = default;
};

// A closing tag, the declaration, comments and <!...> declarations do not
// count: their first character after "<" is not a letter or underscore.
inline constexpr std::string_view tagNamePattern = "<\\s*([A-Za-z_][A-Za-z0-9_.:-]*)\\b";
inline constexpr std::string_view attributeKeyPattern =
    "\\b([A-Za-z_][A-Za-z0-9_.:-]*)\\s*=\\s*[\"'][^\"']*[\"']";

// The first groups of the patterns' matches, in order. An ASCII text, the
// usual case, is scanned by hand: the regular-expression engine costs more
// than parsing the file.
std::vector<std::string> tagNames(std::string_view text);
std::vector<std::string> attributeKeys(std::string_view text);

XMLLikeAnalysis analyzeText(std::string_view text, std::int64_t byteCount);

// Up to six "item(count)" entries, most frequent first, joined with ", ";
// "none" for no items.
std::string topSummary(const std::vector<std::string>& items);

// For the kinds that carry content: initial, modified and created.
std::string eventSummary(LightingChangeEvent::Kind kind, const XMLLikeAnalysis& analysis,
                         const std::vector<LightingAction>& actions);

std::string eventDetails(const XMLLikeAnalysis& analysis, std::optional<std::string_view> previousText,
                         const MarkerDiff& diff);

std::string lineChangeText(std::optional<std::string_view> previousText, std::string_view newText);

}  // namespace lanternwick
