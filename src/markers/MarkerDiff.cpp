#include "markers/MarkerDiff.h"

#include <algorithm>
#include <unordered_set>

#include "markers/ConsoleCue.h"
#include "markers/FastMarkerMatch.h"
#include "markers/MatchScore.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

using Kind = LightingAction::Kind;

using namespace markermatch;

bool sameTrimmed(std::string_view a, std::string_view b) { return canonicallyEqual(trimmed(a), trimmed(b)); }

std::string listText(const std::optional<std::int64_t>& cueList) {
    return cueList ? std::to_string(*cueList) : std::string();
}

LightingAction makeAction(Kind kind, std::string summary, std::string details) {
    LightingAction action;
    action.id = Uuid::random();
    action.kind = kind;
    action.summary = std::move(summary);
    action.details = std::move(details);
    return action;
}

void fillCues(LightingAction& action, const LightingMarker& oldMarker, const LightingMarker& newMarker) {
    action.oldCueList = oldMarker.cueList;
    action.newCueList = newMarker.cueList;
    action.oldCueID = trimmed(oldMarker.manualCueID);
    action.newCueID = trimmed(newMarker.manualCueID);
}

LightingAction manualCueIDAction(const LightingMarker& o, const LightingMarker& n, const std::string& wasNow) {
    LightingAction action =
        makeAction(Kind::manualCueIDChanged, displayValue(o.manualCueID) + " -> " + displayValue(n.manualCueID), wasNow);
    fillCues(action, o, n);
    action.oldLabel = trimmed(o.label);
    action.newLabel = trimmed(n.label);
    action.oldFadeTime = trimmed(o.fadeRaw);
    action.newFadeTime = trimmed(n.fadeRaw);
    action.oldFadeOutTime = trimmed(o.fadeOutRaw);
    action.newFadeOutTime = trimmed(n.fadeOutRaw);
    action.oldPosition = trimmed(o.positionRaw);
    action.newPosition = trimmed(n.positionRaw);
    action.oldTimeCodeOffsetSeconds = o.timeCodeOffsetSeconds;
    action.newTimeCodeOffsetSeconds = n.timeCodeOffsetSeconds;
    return action;
}

LightingAction fadeAction(const LightingMarker& o, const LightingMarker& n, const std::string& wasNow) {
    LightingAction action = makeAction(Kind::fadeChanged,
                                       "Fade " + displayValue(o.fadeRaw) + " -> " + displayValue(n.fadeRaw) +
                                           ", FadeOut " + displayValue(o.fadeOutRaw) + " -> " +
                                           displayValue(n.fadeOutRaw),
                                       wasNow);
    fillCues(action, o, n);
    action.oldFadeTime = trimmed(o.fadeRaw);
    action.newFadeTime = trimmed(n.fadeRaw);
    action.oldFadeOutTime = trimmed(o.fadeOutRaw);
    action.newFadeOutTime = trimmed(n.fadeOutRaw);
    return action;
}

LightingAction positionAction(const LightingMarker& o, const LightingMarker& n, const std::string& wasNow) {
    LightingAction action =
        makeAction(Kind::positionChanged, displayValue(o.positionRaw) + " -> " + displayValue(n.positionRaw), wasNow);
    fillCues(action, o, n);
    action.oldPosition = trimmed(o.positionRaw);
    action.newPosition = trimmed(n.positionRaw);
    action.oldTimeCodeOffsetSeconds = o.timeCodeOffsetSeconds;
    action.newTimeCodeOffsetSeconds = n.timeCodeOffsetSeconds;
    return action;
}

LightingAction nameAction(const LightingMarker& o, const LightingMarker& n, const std::string& wasNow) {
    LightingAction action = makeAction(
        Kind::nameChanged, "\"" + displayValue(o.label) + "\" -> \"" + displayValue(n.label) + "\"", wasNow);
    fillCues(action, o, n);
    action.oldLabel = trimmed(o.label);
    action.newLabel = trimmed(n.label);
    return action;
}

// Equal texts are equal trimmed too; the numbers still go through the
// tolerance rule (the number rule yields only finite values, so equal
// texts always pass it).
bool unchangedPair(const LightingMarker& o, const LightingMarker& n) {
    return o.manualCueID == n.manualCueID && o.fadeRaw == n.fadeRaw && o.fadeOutRaw == n.fadeOutRaw &&
           o.label == n.label && o.trackName == n.trackName && o.markerTypeName == n.markerTypeName &&
           sameValue(o.fade, n.fade) && sameValue(o.fadeOut, n.fadeOut) && sameValue(o.position, n.position);
}

void appendPairActions(std::vector<LightingAction>& actions, const LightingMarker& o, const LightingMarker& n) {
    // Most pairs of a save are unchanged; they need no descriptions.
    if (unchangedPair(o, n)) return;
    const std::string wasNow = changeDescription(o, n);
    if (!sameTrimmed(o.manualCueID, n.manualCueID)) actions.push_back(manualCueIDAction(o, n, wasNow));
    // A fade-out change has no action of its own: the fade line carries both.
    if (!sameTrimmed(o.fadeRaw, n.fadeRaw) || !sameTrimmed(o.fadeOutRaw, n.fadeOutRaw) || !sameValue(o.fade, n.fade) ||
        !sameValue(o.fadeOut, n.fadeOut)) {
        actions.push_back(fadeAction(o, n, wasNow));
    }
    if (!sameValue(o.position, n.position)) actions.push_back(positionAction(o, n, wasNow));
    if (!sameTrimmed(o.label, n.label)) actions.push_back(nameAction(o, n, wasNow));
    if (!sameTrimmed(o.trackName, n.trackName)) {
        actions.push_back(makeAction(Kind::trackNameChanged,
                                     displayValue(o.trackName) + " -> " + displayValue(n.trackName),
                                     "CueList " + displayValue(listText(o.cueList)) + " -> " +
                                         displayValue(listText(n.cueList)) + ", TimeCodeOffset " +
                                         displayValue(o.timeCodeOffset) + " -> " + displayValue(n.timeCodeOffset) +
                                         " | " + wasNow));
    }
    if (!sameTrimmed(o.markerTypeName, n.markerTypeName)) {
        actions.push_back(makeAction(Kind::unknown, "MarkerTypeName changed",
                                     displayValue(o.markerTypeName) + " -> " + displayValue(n.markerTypeName) + " | " +
                                         wasNow));
    }
}

LightingAction deletedAction(const LightingMarker& o) {
    LightingAction action = makeAction(Kind::markerDeleted, markerDescription(o), "Marker removed from file.");
    action.oldCueList = o.cueList;
    action.oldCueID = trimmed(o.manualCueID);
    action.oldLabel = trimmed(o.label);
    action.oldFadeTime = trimmed(o.fadeRaw);
    action.oldPosition = trimmed(o.positionRaw);
    action.oldTimeCodeOffsetSeconds = o.timeCodeOffsetSeconds;
    return action;
}

// Carries what creating the marker's cue on the console needs.
LightingAction addedAction(const LightingMarker& n) {
    LightingAction action = makeAction(Kind::markerAdded, markerDescription(n), "Marker added to file.");
    action.newCueList = n.cueList;
    action.newCueID = trimmed(n.manualCueID);
    action.newLabel = trimmed(n.label);
    action.newFadeTime = trimmed(n.fadeRaw);
    action.newFadeOutTime = trimmed(n.fadeOutRaw);
    action.newPosition = trimmed(n.positionRaw);
    action.newTimeCodeOffsetSeconds = n.timeCodeOffsetSeconds;
    return action;
}

bool sameSignatures(const std::vector<LightingMarker>& oldMarkers, const std::vector<LightingMarker>& newMarkers) {
    if (oldMarkers.size() != newMarkers.size()) return false;
    for (std::size_t i = 0; i < oldMarkers.size(); ++i) {
        if (!canonicallyEqual(markerSignature(oldMarkers[i]), markerSignature(newMarkers[i]))) return false;
    }
    return true;
}

// A cue reference for a marker whose cue id can reach the console.
std::optional<CueReference> meaningfulReference(const LightingMarker& marker) {
    std::string cueID = trimmed(marker.manualCueID);
    if (!isMeaningfulCueID(cueID)) return std::nullopt;
    return CueReference{marker.cueList.value_or(0), std::move(cueID)};
}

// A cue still addressed by the new file, under any spelling the console
// reads as the same cue, must not be proposed for deletion.
std::vector<CueDeletionCandidate> deletionCandidates(const std::vector<CueReference>& removed,
                                                     const std::vector<LightingMarker>& newMarkers) {
    if (removed.empty()) return {};
    const std::unordered_set<std::string> remaining = consoleCueKeys(newMarkers);
    std::vector<CueDeletionCandidate> candidates;
    std::unordered_set<std::string> proposed;
    for (const CueReference& reference : removed) {
        std::string key = consoleCueKey(reference.cueList, reference.cueNumber);
        if (remaining.contains(key) || !proposed.insert(std::move(key)).second) continue;
        candidates.push_back({reference.cueList, reference.cueNumber});
    }
    return candidates;
}

MarkerDiff skippedDiff(std::string summary, std::string parseIssue) {
    MarkerDiff diff;
    diff.actions.push_back(makeAction(Kind::unknown, std::move(summary), "Structured marker diff was skipped."));
    diff.parseIssue = std::move(parseIssue);
    return diff;
}

}  // namespace

MarkerDiff diffMarkers(std::optional<std::string_view> previousText, std::string_view newText,
                       LightingChangeEvent::Kind kind) {
    std::optional<ParsedMarkers> oldMarkers;
    if (kind == LightingChangeEvent::Kind::modified && previousText) oldMarkers = parseMarkers(*previousText);
    return diffMarkerSnapshots(oldMarkers ? &*oldMarkers : nullptr, parseMarkers(newText), kind);
}

MarkerDiff diffMarkerSnapshots(const ParsedMarkers* previousMarkers, const ParsedMarkers& newMarkers,
                               LightingChangeEvent::Kind kind) {
    MarkerDiff diff;
    if (kind != LightingChangeEvent::Kind::modified) {
        if (newMarkers) {
            diff.newCount = static_cast<std::int64_t>(newMarkers->size());
            diff.cueLookupRequests = lookupRequestsFor(*newMarkers);
        }
        return diff;
    }
    if (!previousMarkers) return diff;
    if (!*previousMarkers) {
        return skippedDiff("Unable to parse previous XML snapshot", "Previous snapshot XML parsing failed.");
    }
    if (!newMarkers) {
        diff = skippedDiff("Unable to parse new XML content", "Current file XML parsing failed.");
        diff.oldCount = static_cast<std::int64_t>((*previousMarkers)->size());
        return diff;
    }
    return diffParsedMarkers(**previousMarkers, *newMarkers);
}

MarkerDiff diffParsedMarkers(const std::vector<LightingMarker>& oldMarkers,
                             const std::vector<LightingMarker>& newMarkers) {
    MarkerDiff diff;
    diff.oldCount = static_cast<std::int64_t>(oldMarkers.size());
    diff.newCount = static_cast<std::int64_t>(newMarkers.size());

    const MarkerMatching matching = matchMarkers(oldMarkers, newMarkers);
    for (const MarkerPair& pair : matching.pairs) {
        appendPairActions(diff.actions, oldMarkers[pair.oldPosition], newMarkers[pair.newPosition]);
    }
    std::vector<CueReference> removed;
    for (const std::size_t position : matching.unmatchedOld) {
        diff.actions.push_back(deletedAction(oldMarkers[position]));
        if (auto reference = meaningfulReference(oldMarkers[position])) removed.push_back(std::move(*reference));
    }
    for (const std::size_t position : matching.unmatchedNew) diff.actions.push_back(addedAction(newMarkers[position]));

    // Catches what scoring cannot see, such as a reordering of unchanged
    // markers; a change outside the markers still yields nothing.
    if (diff.actions.empty() && !sameSignatures(oldMarkers, newMarkers)) {
        diff.actions.push_back(makeAction(Kind::unknown, "File changed but no known marker pattern matched",
                                          "Expected patterns: add/delete/manualCueID/fade/position/name/trackName."));
    }
    diff.deletedCueCandidates = deletionCandidates(removed, newMarkers);
    return diff;
}

std::int64_t matchScore(const LightingMarker& oldMarker, const LightingMarker& newMarker) {
    std::int64_t score = 0;
    if (oldMarker.cueList == newMarker.cueList) score += weightOf(cueListFeature);
    if (sameTrimmed(oldMarker.markerTypeName, newMarker.markerTypeName)) score += weightOf(typeFeature);
    if (sameTrimmed(oldMarker.trackName, newMarker.trackName)) score += weightOf(trackFeature);
    // Only the old side is tested for emptiness: an old marker that had an
    // id or label is recognised by it, one that had none is not.
    const std::string oldCueID = trimmed(oldMarker.manualCueID);
    if (!oldCueID.empty() && canonicallyEqual(oldCueID, trimmed(newMarker.manualCueID))) {
        score += weightOf(cueIDFeature);
    }
    const std::string oldLabel = trimmed(oldMarker.label);
    if (!oldLabel.empty() && canonicallyEqual(oldLabel, trimmed(newMarker.label))) score += weightOf(labelFeature);
    if (sameValue(oldMarker.position, newMarker.position)) score += weightOf(positionFeature);
    if (sameValue(oldMarker.fade, newMarker.fade)) score += weightOf(fadeFeature);
    if (sameValue(oldMarker.fadeOut, newMarker.fadeOut)) score += weightOf(fadeOutFeature);
    if (oldMarker.index == newMarker.index) score += equalIndexBonus;
    return score;
}

MarkerMatching matchMarkers(const std::vector<LightingMarker>& oldMarkers,
                            const std::vector<LightingMarker>& newMarkers) {
    return matchMarkersFast(oldMarkers, newMarkers);
}

MarkerMatching matchMarkersAllPairs(const std::vector<LightingMarker>& oldMarkers,
                                    const std::vector<LightingMarker>& newMarkers) {
    std::vector<MarkerMatchCandidate> candidates;
    for (std::size_t i = 0; i < oldMarkers.size(); ++i) {
        for (std::size_t j = 0; j < newMarkers.size(); ++j) {
            const std::int64_t score = matchScore(oldMarkers[i], newMarkers[j]);
            if (score <= matchThreshold) continue;
            const std::int64_t distance =
                oldMarkers[i].index > newMarkers[j].index ? oldMarkers[i].index - newMarkers[j].index
                                                          : newMarkers[j].index - oldMarkers[i].index;
            candidates.push_back(
                {static_cast<std::int64_t>(i), static_cast<std::int64_t>(j), score, distance});
        }
    }
    // Stable, so full ties keep scan order: lower old position, then lower new.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const MarkerMatchCandidate& a, const MarkerMatchCandidate& b) {
                         if (a.score != b.score) return a.score > b.score;
                         return a.indexDistance < b.indexDistance;
                     });

    std::vector<bool> oldUsed(oldMarkers.size(), false);
    std::vector<bool> newUsed(newMarkers.size(), false);
    MarkerMatching matching;
    for (const MarkerMatchCandidate& candidate : candidates) {
        const auto i = static_cast<std::size_t>(candidate.oldIndex);
        const auto j = static_cast<std::size_t>(candidate.newIndex);
        if (oldUsed[i] || newUsed[j]) continue;
        oldUsed[i] = true;
        newUsed[j] = true;
        matching.pairs.push_back({i, j});
    }
    for (std::size_t i = 0; i < oldUsed.size(); ++i) {
        if (!oldUsed[i]) matching.unmatchedOld.push_back(i);
    }
    for (std::size_t j = 0; j < newUsed.size(); ++j) {
        if (!newUsed[j]) matching.unmatchedNew.push_back(j);
    }
    return matching;
}

std::string markerDescription(const LightingMarker& marker) {
    return "List " + listText(marker.cueList) + ", CueID " + displayValue(marker.manualCueID) + ", Label \"" +
           displayValue(marker.label) + "\", Position " + displayValue(marker.positionRaw) + ", TC Offset " +
           marker.timeCodeOffset;
}

std::string changeDescription(const LightingMarker& oldMarker, const LightingMarker& newMarker) {
    return "Was [" + markerDescription(oldMarker) + "], now [" + markerDescription(newMarker) + "]";
}

std::string markerSignature(const LightingMarker& marker) {
    return listText(marker.cueList) + "|" + trimmed(marker.manualCueID) + "|" + trimmed(marker.label) + "|" +
           trimmed(marker.positionRaw) + "|" + trimmed(marker.fadeRaw) + "|" + trimmed(marker.fadeOutRaw) + "|" +
           trimmed(marker.trackName) + "|" + trimmed(marker.markerTypeName) + "|" + marker.timeCodeOffset;
}

std::vector<CueLookupRequest> lookupRequestsFor(const std::vector<LightingMarker>& markers) {
    std::vector<CueLookupRequest> requests;
    std::unordered_set<std::string> seen;
    for (const LightingMarker& marker : markers) {
        auto reference = meaningfulReference(marker);
        if (!reference || !seen.insert(consoleCueKey(reference->cueList, reference->cueNumber)).second) continue;
        requests.push_back({reference->cueList, std::move(reference->cueNumber)});
    }
    return requests;
}

std::string cueKey(std::int64_t cueList, std::string_view cueNumber) {
    return std::to_string(cueList) + "|" + std::string(cueNumber);
}

std::string consoleCueKey(std::int64_t cueList, std::string_view cueID) {
    return cueKey(cueList, consoleCueIdentity(trimmed(cueID)));
}

std::unordered_set<std::string> consoleCueKeys(const std::vector<LightingMarker>& markers) {
    std::unordered_set<std::string> keys;
    for (const LightingMarker& marker : markers) {
        if (const auto reference = meaningfulReference(marker)) {
            keys.insert(consoleCueKey(reference->cueList, reference->cueNumber));
        }
    }
    return keys;
}

bool isMeaningfulCueID(std::string_view cueID) {
    const std::string value = trimmed(cueID);
    if (value.empty()) return false;
    const auto number = parseNumber(value);
    return !number || *number != 0;
}

}  // namespace lanternwick
