#include "markers/LightingChangeEvent.h"

#include <algorithm>
#include <map>
#include <set>

#include "markers/MarkerDiff.h"
#include "support/Regex.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

// A closing tag, the declaration, comments and <!...> declarations do not
// count: their first character after "<" is not a letter or underscore.
constexpr std::string_view tagNamePattern = "<\\s*([A-Za-z_][A-Za-z0-9_.:-]*)\\b";
constexpr std::string_view attributeKeyPattern = "\\b([A-Za-z_][A-Za-z0-9_.:-]*)\\s*=\\s*[\"'][^\"']*[\"']";
constexpr std::size_t previewLineCount = 12;
constexpr std::size_t topSummaryLength = 6;

std::string joined(const std::vector<std::string_view>& lines, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < std::min(count, lines.size()); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

}  // namespace

std::string_view displayName(LightingChangeEvent::Kind kind) {
    switch (kind) {
        case LightingChangeEvent::Kind::initial: return "Initial Snapshot";
        case LightingChangeEvent::Kind::modified: return "Modified";
        case LightingChangeEvent::Kind::created: return "Created";
        case LightingChangeEvent::Kind::deleted: return "Deleted";
        case LightingChangeEvent::Kind::unreadable: return "Read Error";
    }
    return "Modified";
}

XMLLikeAnalysis analyzeText(std::string_view text, std::int64_t byteCount) {
    XMLLikeAnalysis analysis;
    analysis.text = std::string(text);
    analysis.byteCount = byteCount;

    const std::vector<std::string_view> lines = splitLines(text);
    analysis.lineCount = static_cast<std::int64_t>(lines.size());
    analysis.nonEmptyLineCount =
        std::count_if(lines.begin(), lines.end(), [](std::string_view line) { return !trimmed(line).empty(); });

    const std::vector<std::string> tags = allCaptures(tagNamePattern, text);
    if (!tags.empty()) analysis.rootElement = tags.front();
    analysis.topTagSummary = topSummary(tags);
    analysis.topAttributeKeySummary = topSummary(allCaptures(attributeKeyPattern, text));
    analysis.preview = joined(lines, previewLineCount);
    return analysis;
}

std::string topSummary(const std::vector<std::string>& items) {
    if (items.empty()) return "none";
    // std::string orders UTF-8 by code point, which is the Unicode order asked for.
    std::map<std::string, std::int64_t> counts;
    for (const std::string& item : items) ++counts[item];
    std::vector<std::pair<std::string, std::int64_t>> ordered(counts.begin(), counts.end());
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });

    std::string summary;
    for (std::size_t i = 0; i < std::min(ordered.size(), topSummaryLength); ++i) {
        if (i > 0) summary += ", ";
        summary += ordered[i].first + "(" + std::to_string(ordered[i].second) + ")";
    }
    return summary;
}

std::string eventSummary(LightingChangeEvent::Kind kind, const XMLLikeAnalysis& analysis,
                         const std::vector<LightingAction>& actions) {
    switch (kind) {
        case LightingChangeEvent::Kind::modified: {
            if (actions.empty()) return "Modified: no structured actions found";
            std::set<std::string_view> names;
            for (const LightingAction& action : actions) names.insert(displayName(action.kind));
            std::string list;
            for (const std::string_view name : names) {
                if (!list.empty()) list += ", ";
                list += name;
            }
            return "Modified: " + std::to_string(actions.size()) + " action(s) [" + list + "]";
        }
        case LightingChangeEvent::Kind::initial:
        case LightingChangeEvent::Kind::created:
            return std::string(displayName(kind)) + ": " + std::to_string(analysis.byteCount) + " bytes, " +
                   std::to_string(analysis.lineCount) + " lines, root " + analysis.rootElement.value_or("unknown root");
        case LightingChangeEvent::Kind::deleted: return "File removed";
        case LightingChangeEvent::Kind::unreadable: return "Failed reading file";
    }
    return {};
}

std::string eventDetails(const XMLLikeAnalysis& analysis, std::optional<std::string_view> previousText,
                         const MarkerDiff& diff) {
    std::string details = lineChangeText(previousText, analysis.text) + "\n";
    if (!diff.newCount) {
        details += "Markers: n/a";
    } else if (diff.oldCount) {
        details += "Markers: " + std::to_string(*diff.oldCount) + " -> " + std::to_string(*diff.newCount);
    } else {
        details += "Markers now: " + std::to_string(*diff.newCount);
    }
    details += "\nTop tags: " + analysis.topTagSummary;
    details += "\nAttribute keys: " + analysis.topAttributeKeySummary;
    if (diff.parseIssue) details += "\nParser note: " + *diff.parseIssue;
    return details;
}

std::string lineChangeText(std::optional<std::string_view> previousText, std::string_view newText) {
    if (!previousText) return "Baseline snapshot captured.";
    const std::vector<std::string_view> oldLines = splitLines(*previousText);
    const std::vector<std::string_view> newLines = splitLines(newText);
    std::int64_t changed = 0;
    for (std::size_t i = 0; i < std::max(oldLines.size(), newLines.size()); ++i) {
        const std::string_view oldLine = i < oldLines.size() ? oldLines[i] : std::string_view();
        const std::string_view newLine = i < newLines.size() ? newLines[i] : std::string_view();
        if (!canonicallyEqual(oldLine, newLine)) ++changed;
    }
    const std::int64_t delta = graphemeCount(newText) - graphemeCount(*previousText);
    return "Estimated changed lines: " + std::to_string(changed) + ", character delta: " + std::to_string(delta) + ".";
}

}  // namespace lanternwick
