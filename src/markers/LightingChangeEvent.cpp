#include "markers/LightingChangeEvent.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "markers/MarkerDiff.h"
#include "support/Regex.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

constexpr std::size_t previewLineCount = 12;
constexpr std::size_t topSummaryLength = 6;

// The regular expressions' classes restricted to ASCII.
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isWord(char c) { return isLetter(c) || (c >= '0' && c <= '9') || c == '_'; }
bool isNameStart(char c) { return isLetter(c) || c == '_'; }
bool isNameChar(char c) { return isWord(c) || c == '.' || c == ':' || c == '-'; }

// \b: a word character on exactly one side; the ends of the text count as non-word.
bool isBoundary(std::string_view text, std::size_t position) {
    const bool before = position > 0 && isWord(text[position - 1]);
    const bool after = position < text.size() && isWord(text[position]);
    return before != after;
}

std::size_t nameEnd(std::string_view text, std::size_t start) {
    std::size_t end = start + 1;
    while (end < text.size() && isNameChar(text[end])) ++end;
    return end;
}

std::size_t spaceEnd(std::string_view text, std::size_t position) {
    while (position < text.size() && isSpace(text[position])) ++position;
    return position;
}

std::vector<std::string_view> scannedTagNames(std::string_view text) {
    std::vector<std::string_view> names;
    for (std::size_t open = text.find('<'); open != std::string_view::npos; open = text.find('<', open + 1)) {
        const std::size_t start = spaceEnd(text, open + 1);
        if (start >= text.size() || !isNameStart(text[start])) continue;
        // The name backs off to the last boundary, as the pattern's backtracking does.
        for (std::size_t end = nameEnd(text, start); end > start; --end) {
            if (isBoundary(text, end)) {
                names.emplace_back(text.substr(start, end - start));
                open = end - 1;
                break;
            }
        }
    }
    return names;
}

std::vector<std::string_view> scannedAttributeKeys(std::string_view text) {
    std::vector<std::string_view> keys;
    std::size_t start = 0;
    while (start < text.size()) {
        if (!isNameStart(text[start]) || !isBoundary(text, start)) {
            ++start;
            continue;
        }
        // Name characters cannot stand for the space or "=" that follows, so
        // only the whole run of them can match.
        const std::size_t end = nameEnd(text, start);
        std::size_t position = spaceEnd(text, end);
        if (position < text.size() && text[position] == '=') {
            position = spaceEnd(text, position + 1);
            if (position < text.size() && (text[position] == '"' || text[position] == '\'')) {
                const std::size_t close = text.find_first_of("\"'", position + 1);
                if (close != std::string_view::npos) {
                    keys.emplace_back(text.substr(start, end - start));
                    start = close + 1;
                    continue;
                }
            }
        }
        ++start;
    }
    return keys;
}

std::vector<std::string> owned(const std::vector<std::string_view>& views) {
    return {views.begin(), views.end()};
}

std::vector<std::string_view> viewsOf(const std::vector<std::string>& items) {
    return {items.begin(), items.end()};
}

std::string summaryOf(const std::vector<std::string_view>& items) {
    if (items.empty()) return "none";
    std::unordered_map<std::string_view, std::int64_t> counts;
    for (const std::string_view item : items) ++counts[item];
    std::vector<std::pair<std::string_view, std::int64_t>> ordered(counts.begin(), counts.end());
    // Most frequent first; ties in code point order, which is how UTF-8
    // bytes compare.
    const std::size_t shown = std::min(ordered.size(), topSummaryLength);
    std::partial_sort(ordered.begin(), ordered.begin() + static_cast<std::ptrdiff_t>(shown), ordered.end(),
                      [](const auto& a, const auto& b) {
                          return a.second != b.second ? a.second > b.second : a.first < b.first;
                      });
    std::string summary;
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) summary += ", ";
        summary += ordered[i].first;
        summary += "(" + std::to_string(ordered[i].second) + ")";
    }
    return summary;
}

std::string joined(const std::vector<std::string_view>& lines, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < std::min(count, lines.size()); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

}  // namespace

std::vector<std::string> tagNames(std::string_view text) {
    return isASCII(text) ? owned(scannedTagNames(text)) : allCaptures(tagNamePattern, text);
}

std::vector<std::string> attributeKeys(std::string_view text) {
    return isASCII(text) ? owned(scannedAttributeKeys(text)) : allCaptures(attributeKeyPattern, text);
}

LightingChangeEvent keptEvent(LightingChangeEvent event) {
    if (event.summary.size() > keptTextLimit) event.summary = cappedText(event.summary);
    if (event.details.size() > keptTextLimit) event.details = cappedText(event.details);
    for (LightingAction& action : event.actions) action = keptAction(std::move(action));
    return event;
}

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
        std::count_if(lines.begin(), lines.end(), [](std::string_view line) { return !isBlank(line); });

    // Counted as views into the text; only the summaries are built as strings.
    const auto summarise = [&analysis](const std::vector<std::string_view>& tags,
                                       const std::vector<std::string_view>& keys) {
        if (!tags.empty()) analysis.rootElement = std::string(tags.front());
        analysis.topTagSummary = summaryOf(tags);
        analysis.topAttributeKeySummary = summaryOf(keys);
    };
    if (isASCII(text)) {
        summarise(scannedTagNames(text), scannedAttributeKeys(text));
    } else {
        const std::vector<std::string> tags = allCaptures(tagNamePattern, text);
        const std::vector<std::string> keys = allCaptures(attributeKeyPattern, text);
        summarise(viewsOf(tags), viewsOf(keys));
    }
    analysis.preview = joined(lines, previewLineCount);
    return analysis;
}

std::string topSummary(const std::vector<std::string>& items) { return summaryOf(viewsOf(items)); }

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
