// Marker parsing and diffing on pairs of marker files. Half the inputs are
// two raw texts (split at the first zero byte) so that the XML parser meets
// arbitrary junk; the other half build an old file from the fuzzer's choices
// and a new file by editing, removing, inserting and swapping its markers, so
// that the matching meets realistic near-duplicates, in shows of up to a few
// thousand markers. Invariants: the fast matching equals the all-pairs
// reference (on shows small enough for it to be quick); every old and every
// new marker is either paired exactly once or reported once as deleted or
// added; deletion candidates are meaningful, unique and no longer carried by
// any new marker; a file compared with itself yields no action.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "markers/MarkerDiff.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

using fuzz::require;

struct GeneratedMarker {
    std::string track;
    std::string cue;
    std::string label;
    std::string position;
    std::string fade;
    std::string fadeOut;
    std::string type;
};

constexpr std::string_view tracks[] = {"1/ Lights", "2/ Main 00:00:10:00", "Audio", "3/ 00:61:00:00",
                                       "12/Lights", "001/ Front", "7/ 00:00:02:15", "Lights 3/"};
constexpr std::string_view cues[] = {"1", "2", "0", "", " 5 ", "A1", "1.5", "0.0", "-0", "#", "10"};
constexpr std::string_view numbers[] = {"10", "10.0", "10.5", "", " 1", "1e3", "-1", "2", "3", "x", "nan"};
constexpr std::string_view types[] = {"Cue", "Cue ", "Marker", ""};

constexpr std::size_t maxGeneratedMarkers = 2000;
// The reference scores every pair: beyond this it would slow every large input to a crawl.
constexpr std::size_t maxReferencePairs = 250'000;

template <std::size_t N>
std::string pick(FuzzedDataProvider& provider, const std::string_view (&choices)[N]) {
    return std::string(choices[provider.ConsumeIntegralInRange<std::size_t>(0, N - 1)]);
}

// Attribute text without tabs or line ends, which XML would normalise away.
std::string shortText(FuzzedDataProvider& provider) {
    std::string text = provider.ConsumeRandomLengthString(12);
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

template <std::size_t N>
std::string field(FuzzedDataProvider& provider, const std::string_view (&choices)[N]) {
    return provider.ConsumeBool() ? pick(provider, choices) : shortText(provider);
}

GeneratedMarker generateMarker(FuzzedDataProvider& provider) {
    return {pick(provider, tracks), field(provider, cues),    shortText(provider), field(provider, numbers),
            field(provider, numbers), field(provider, numbers), pick(provider, types)};
}

void editMarker(FuzzedDataProvider& provider, GeneratedMarker& marker) {
    switch (provider.ConsumeIntegralInRange(0, 6)) {
    case 0: marker.track = pick(provider, tracks); break;
    case 1: marker.cue = field(provider, cues); break;
    case 2: marker.label = shortText(provider); break;
    case 3: marker.position = field(provider, numbers); break;
    case 4: marker.fade = field(provider, numbers); break;
    case 5: marker.fadeOut = field(provider, numbers); break;
    default: marker.type = pick(provider, types); break;
    }
}

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
    return out;
}

bool isXMLChar(const unsigned char c) { return c >= 0x20 || c == '\t' || c == '\n' || c == '\r'; }

// Only texts that stay well-formed XML: ASCII without control characters.
void keepWellFormed(GeneratedMarker& marker) {
    for (std::string* text : {&marker.cue, &marker.label, &marker.position, &marker.fade, &marker.fadeOut}) {
        std::replace_if(
            text->begin(), text->end(), [](unsigned char c) { return !isXMLChar(c) || c >= 0x80; }, '?');
    }
}

std::string document(const std::vector<GeneratedMarker>& markers) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"1\" "
                       "minor_vers=\"0\" bug_vers=\"0\">\n";
    for (const GeneratedMarker& m : markers) {
        text += "<Marker MarkerTypeName=\"" + escaped(m.type) + "\" TrackName=\"" + escaped(m.track) +
                "\" Position=\"" + escaped(m.position) + "\" Label=\"" + escaped(m.label) + "\" Fade=\"" +
                escaped(m.fade) + "\" FadeOut=\"" + escaped(m.fadeOut) + "\" ManualCueID=\"" + escaped(m.cue) +
                "\"/>\n";
    }
    return text + "</Tempolane>\n";
}

std::size_t countOf(const MarkerDiff& diff, LightingAction::Kind kind) {
    return static_cast<std::size_t>(std::count_if(diff.actions.begin(), diff.actions.end(),
                                                  [kind](const LightingAction& a) { return a.kind == kind; }));
}

void checkPartition(const std::vector<MarkerPair>& pairs, const std::vector<std::size_t>& unmatched,
                    std::size_t count, bool oldSide) {
    std::vector<int> seen(count, 0);
    for (const MarkerPair& pair : pairs) {
        const std::size_t position = oldSide ? pair.oldPosition : pair.newPosition;
        require(position < count, "a pair names an existing marker");
        ++seen[position];
    }
    require(std::is_sorted(unmatched.begin(), unmatched.end()), "unmatched positions are ascending");
    for (const std::size_t position : unmatched) {
        require(position < count, "an unmatched position names an existing marker");
        ++seen[position];
    }
    require(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }),
            "every marker is paired or unmatched exactly once");
}

void checkDiff(std::string_view oldText, std::string_view newText) {
    const auto oldMarkers = parseMarkers(oldText);
    const auto newMarkers = parseMarkers(newText);
    const MarkerDiff diff = diffMarkers(oldText, newText, LightingChangeEvent::Kind::modified);
    if (!oldMarkers || !newMarkers) {
        require(diff.parseIssue.has_value() && diff.actions.size() == 1 && diff.deletedCueCandidates.empty(),
                "an unparsable side gives one action, a parse issue and no deletion");
        return;
    }
    require(!diff.parseIssue && diff.oldCount == std::int64_t(oldMarkers->size()) &&
                diff.newCount == std::int64_t(newMarkers->size()),
            "both counts are set when both sides parse");

    const MarkerMatching matching = matchMarkers(*oldMarkers, *newMarkers);
    if (oldMarkers->size() * newMarkers->size() <= maxReferencePairs) {
        require(matching == matchMarkersAllPairs(*oldMarkers, *newMarkers), "the matching equals the reference");
    }
    checkPartition(matching.pairs, matching.unmatchedOld, oldMarkers->size(), true);
    checkPartition(matching.pairs, matching.unmatchedNew, newMarkers->size(), false);
    require(countOf(diff, LightingAction::Kind::markerDeleted) == matching.unmatchedOld.size(),
            "every unmatched old marker is reported deleted once");
    require(countOf(diff, LightingAction::Kind::markerAdded) == matching.unmatchedNew.size(),
            "every unmatched new marker is reported added once");

    std::set<std::string> carried;
    for (const LightingMarker& marker : *newMarkers) {
        if (isMeaningfulCueID(marker.manualCueID)) {
            carried.insert(cueKey(*marker.cueList, trimmed(marker.manualCueID)));
        }
    }
    std::set<std::string> candidates;
    for (const CueDeletionCandidate& candidate : diff.deletedCueCandidates) {
        require(isMeaningfulCueID(candidate.cueNumber), "a deletion candidate has a meaningful cue id");
        const std::string key = cueKey(candidate.cueList, candidate.cueNumber);
        require(!carried.contains(key), "a cue still carried by a new marker is never a deletion candidate");
        require(candidates.insert(key).second, "deletion candidates are unique");
    }
    require(diff.deletedCueCandidates.size() <= matching.unmatchedOld.size(),
            "only removed markers propose deletions");

    const MarkerDiff same = diffMarkers(newText, newText, LightingChangeEvent::Kind::modified);
    require(same.actions.empty() && same.deletedCueCandidates.empty(), "an unchanged file yields no action");

    const MarkerDiff first = diffMarkers(std::nullopt, newText, LightingChangeEvent::Kind::initial);
    std::set<std::string> lookups;
    for (const CueLookupRequest& request : first.cueLookupRequests) {
        require(isMeaningfulCueID(request.cueNumber), "a lookup asks for a meaningful cue");
        require(lookups.insert(cueKey(request.cueList, request.cueNumber)).second, "lookups are unique");
    }
    require(first.actions.empty() && first.newCount == diff.newCount, "a first snapshot only counts and looks up");
}

void checkGenerated(FuzzedDataProvider& provider) {
    // Beyond ten markers, 32 bytes each at least, so that a short input
    // cannot ask for thousands of identical ones.
    const std::size_t most = std::clamp<std::size_t>(provider.remaining_bytes() / 32, 10, maxGeneratedMarkers);
    std::vector<GeneratedMarker> oldMarkers(provider.ConsumeIntegralInRange<std::size_t>(0, most));
    for (GeneratedMarker& marker : oldMarkers) {
        marker = generateMarker(provider);
        keepWellFormed(marker);
    }
    std::vector<GeneratedMarker> newMarkers = oldMarkers;
    const int edits = provider.ConsumeIntegralInRange(0, 24);
    for (int e = 0; e < edits; ++e) {
        const int what = provider.ConsumeIntegralInRange(0, 3);
        if (what == 0 || newMarkers.empty()) {
            GeneratedMarker marker = generateMarker(provider);
            keepWellFormed(marker);
            const auto at = provider.ConsumeIntegralInRange<std::size_t>(0, newMarkers.size());
            newMarkers.insert(newMarkers.begin() + static_cast<std::ptrdiff_t>(at), marker);
            continue;
        }
        const auto at = provider.ConsumeIntegralInRange<std::size_t>(0, newMarkers.size() - 1);
        if (what == 1) {
            newMarkers.erase(newMarkers.begin() + static_cast<std::ptrdiff_t>(at));
        } else if (what == 2) {
            editMarker(provider, newMarkers[at]);
            keepWellFormed(newMarkers[at]);
        } else {
            std::swap(newMarkers[at], newMarkers[provider.ConsumeIntegralInRange<std::size_t>(0, at)]);
        }
    }
    const std::string oldText = document(oldMarkers);
    const std::string newText = document(newMarkers);
    const auto parsed = parseMarkers(oldText);
    require(parsed.has_value(), "a generated file parses");
    std::size_t expected = 0;
    for (const GeneratedMarker& marker : oldMarkers) {
        const bool hasList = marker.track != "Audio" && marker.track != "12/Lights" && marker.track != "Lights 3/";
        if (!hasList) {
            continue;
        }
        require(expected < parsed->size(), "every marker with a cue list is kept");
        const LightingMarker& read = (*parsed)[expected++];
        require(read.label == marker.label && read.manualCueID == marker.cue && read.positionRaw == marker.position,
                "attribute texts reach the marker unchanged");
    }
    require(expected == parsed->size(), "markers without a cue list are dropped");
    checkDiff(oldText, newText);
}

}  // namespace
}  // namespace lanternwick

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    if (size == 0) {
        return 0;
    }
    if (data[0] & 1) {
        FuzzedDataProvider provider(data + 1, size - 1);
        checkGenerated(provider);
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t split = text.find('\0');
    const std::string_view oldText = text.substr(0, split);
    const std::string_view newText = split == std::string_view::npos ? text : text.substr(split + 1);
    checkDiff(oldText, newText);
    return 0;
}
