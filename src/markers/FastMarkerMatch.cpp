#include "markers/FastMarkerMatch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <queue>
#include <string>
#include <unordered_map>
#include <utility>

#include "support/TextRules.h"

namespace lanternwick {
namespace {

constexpr std::int64_t matchThreshold = 54;
// A pair that shares neither cue id, label nor position scores at most
// 40 + 20 + 20 + 5 + 5 + 3 = 93, so every pair above this one shares one of
// the three and turns up in the joins.
constexpr std::int64_t joinedThreshold = 94;
constexpr double sameValueTolerance = 0.0001;
// Wide enough that no pair within the tolerance falls outside the window
// around a position; the exact test decides inside it.
constexpr double positionWindow = 2 * sameValueTolerance;

// Interned id of a trimmed, canonical text; the blank text is always 0.
using TextID = std::uint32_t;
constexpr TextID blankText = 0;

// The compared fields of one marker, each reduced once to what the score
// looks at, so that scoring a pair is a handful of integer comparisons.
struct NormalizedMarker {
    std::optional<std::int64_t> cueList;
    TextID markerTypeName = blankText;
    TextID trackName = blankText;
    TextID manualCueID = blankText;
    TextID label = blankText;
    std::optional<double> position;
    std::optional<double> fade;
    std::optional<double> fadeOut;
    std::int64_t index = 0;
};

class TextInterner {
public:
    TextID idOf(std::string_view text) {
        std::string key = canonicalForm(trimmed(text));
        if (key.empty()) return blankText;
        const auto [entry, inserted] = ids_.try_emplace(std::move(key), static_cast<TextID>(ids_.size() + 1));
        return entry->second;
    }

private:
    std::unordered_map<std::string, TextID> ids_;
};

std::vector<NormalizedMarker> normalized(const std::vector<LightingMarker>& markers, TextInterner& interner) {
    std::vector<NormalizedMarker> result;
    result.reserve(markers.size());
    for (const LightingMarker& m : markers) {
        result.push_back({m.cueList, interner.idOf(m.markerTypeName), interner.idOf(m.trackName),
                          interner.idOf(m.manualCueID), interner.idOf(m.label), m.position, m.fade, m.fadeOut,
                          m.index});
    }
    return result;
}

bool sameValue(const std::optional<double>& a, const std::optional<double>& b) {
    if (!a || !b) return !a && !b;
    return std::fabs(*a - *b) <= sameValueTolerance;
}

bool sameCueID(const NormalizedMarker& o, const NormalizedMarker& n) {
    return o.manualCueID != blankText && o.manualCueID == n.manualCueID;
}

bool sameLabel(const NormalizedMarker& o, const NormalizedMarker& n) {
    return o.label != blankText && o.label == n.label;
}

std::int64_t score(const NormalizedMarker& o, const NormalizedMarker& n) {
    std::int64_t s = 0;
    if (o.cueList == n.cueList) s += 40;
    if (o.markerTypeName == n.markerTypeName) s += 20;
    if (o.trackName == n.trackName) s += 20;
    if (sameCueID(o, n)) s += 45;
    if (sameLabel(o, n)) s += 30;
    if (sameValue(o.position, n.position)) s += 25;
    if (sameValue(o.fade, n.fade)) s += 5;
    if (sameValue(o.fadeOut, n.fadeOut)) s += 5;
    if (o.index == n.index) s += 3;
    return s;
}

struct Candidate {
    std::int64_t score = 0;
    std::int64_t indexDistance = 0;
    std::size_t oldPosition = 0;
    std::size_t newPosition = 0;
};

// The order in which the all-pairs matching accepts candidates: its stable
// sort leaves full ties in scan order, lower old position, then lower new.
bool acceptedBefore(const Candidate& a, const Candidate& b) {
    if (a.score != b.score) return a.score > b.score;
    if (a.indexDistance != b.indexDistance) return a.indexDistance < b.indexDistance;
    if (a.oldPosition != b.oldPosition) return a.oldPosition < b.oldPosition;
    return a.newPosition < b.newPosition;
}

Candidate candidate(const std::vector<NormalizedMarker>& oldMarkers, const std::vector<NormalizedMarker>& newMarkers,
                    std::size_t i, std::size_t j) {
    const NormalizedMarker& o = oldMarkers[i];
    const NormalizedMarker& n = newMarkers[j];
    const std::int64_t distance = o.index > n.index ? o.index - n.index : n.index - o.index;
    return {score(o, n), distance, i, j};
}

class Matcher {
public:
    Matcher(const std::vector<LightingMarker>& oldMarkers, const std::vector<LightingMarker>& newMarkers)
        : old_(normalized(oldMarkers, interner_)),
          new_(normalized(newMarkers, interner_)),
          oldUsed_(old_.size(), false),
          newUsed_(new_.size(), false) {}

    MarkerMatching run() {
        acceptJoinedPairs();
        acceptLeftoverPairs();
        for (std::size_t i = 0; i < old_.size(); ++i) {
            if (!oldUsed_[i]) matching_.unmatchedOld.push_back(i);
        }
        for (std::size_t j = 0; j < new_.size(); ++j) {
            if (!newUsed_[j]) matching_.unmatchedNew.push_back(j);
        }
        return std::move(matching_);
    }

private:
    void accept(std::size_t i, std::size_t j) {
        oldUsed_[i] = true;
        newUsed_[j] = true;
        matching_.pairs.push_back({i, j});
    }

    // Every candidate above joinedThreshold, found through the fields it must
    // share, in acceptance order. Each pair is produced by the first join it
    // qualifies for only, so none is seen twice.
    void acceptJoinedPairs() {
        std::vector<Candidate> candidates;
        const auto consider = [&](std::size_t i, std::size_t j) {
            const Candidate c = candidate(old_, new_, i, j);
            if (c.score >= joinedThreshold) candidates.push_back(c);
        };

        std::unordered_map<TextID, std::vector<std::size_t>> byCueID;
        std::unordered_map<TextID, std::vector<std::size_t>> byLabel;
        std::vector<std::pair<double, std::size_t>> byPosition;
        std::vector<std::size_t> withoutPosition;
        for (std::size_t j = 0; j < new_.size(); ++j) {
            const NormalizedMarker& n = new_[j];
            if (n.manualCueID != blankText) byCueID[n.manualCueID].push_back(j);
            if (n.label != blankText) byLabel[n.label].push_back(j);
            if (!n.position) {
                withoutPosition.push_back(j);
            } else if (!std::isnan(*n.position)) {
                byPosition.emplace_back(*n.position, j);
            }
        }
        std::sort(byPosition.begin(), byPosition.end());

        for (std::size_t i = 0; i < old_.size(); ++i) {
            const NormalizedMarker& o = old_[i];
            if (const auto group = byCueID.find(o.manualCueID); o.manualCueID != blankText && group != byCueID.end()) {
                for (const std::size_t j : group->second) consider(i, j);
            }
            if (const auto group = byLabel.find(o.label); o.label != blankText && group != byLabel.end()) {
                for (const std::size_t j : group->second) {
                    if (!sameCueID(o, new_[j])) consider(i, j);
                }
            }
            const auto considerByPosition = [&](std::size_t j) {
                if (!sameCueID(o, new_[j]) && !sameLabel(o, new_[j])) consider(i, j);
            };
            if (!o.position) {
                for (const std::size_t j : withoutPosition) considerByPosition(j);
            } else if (!std::isnan(*o.position)) {
                const double p = *o.position;
                auto it = std::lower_bound(byPosition.begin(), byPosition.end(), p - positionWindow,
                                           [](const auto& entry, double value) { return entry.first < value; });
                for (; it != byPosition.end() && it->first <= p + positionWindow; ++it) {
                    if (std::fabs(p - it->first) <= sameValueTolerance) considerByPosition(it->second);
                }
            }
        }

        std::sort(candidates.begin(), candidates.end(), acceptedBefore);
        for (const Candidate& c : candidates) {
            if (!oldUsed_[c.oldPosition] && !newUsed_[c.newPosition]) accept(c.oldPosition, c.newPosition);
        }
    }

    // The best remaining partner of old marker i among the free new markers.
    std::optional<Candidate> bestPartner(std::size_t i, const std::vector<std::size_t>& freeNew) const {
        std::optional<Candidate> best;
        for (const std::size_t j : freeNew) {
            if (newUsed_[j]) continue;
            const Candidate c = candidate(old_, new_, i, j);
            if (c.score <= matchThreshold) continue;
            if (!best || acceptedBefore(c, *best)) best = c;
        }
        return best;
    }

    // What the joins left: no free pair scores above joinedThreshold any
    // more, so the remaining free markers are paired greedily, keeping only
    // each old marker's current best partner in a queue. An entry whose
    // partner was taken meanwhile is recomputed when it comes up; since
    // partners only ever disappear, a recomputed entry never ranks higher.
    void acceptLeftoverPairs() {
        std::vector<std::size_t> freeNew;
        for (std::size_t j = 0; j < new_.size(); ++j) {
            if (!newUsed_[j]) freeNew.push_back(j);
        }
        if (freeNew.empty()) return;

        const auto after = [](const Candidate& a, const Candidate& b) { return acceptedBefore(b, a); };
        std::priority_queue<Candidate, std::vector<Candidate>, decltype(after)> queue(after);
        for (std::size_t i = 0; i < old_.size(); ++i) {
            if (oldUsed_[i]) continue;
            if (const auto best = bestPartner(i, freeNew)) queue.push(*best);
        }
        std::size_t acceptedSinceCompaction = 0;
        while (!queue.empty()) {
            const Candidate top = queue.top();
            queue.pop();
            if (newUsed_[top.newPosition]) {
                if (const auto best = bestPartner(top.oldPosition, freeNew)) queue.push(*best);
                continue;
            }
            accept(top.oldPosition, top.newPosition);
            // Keeps the scans short when many leftovers pair up.
            if (++acceptedSinceCompaction * 2 > freeNew.size()) {
                std::erase_if(freeNew, [&](std::size_t j) { return newUsed_[j]; });
                acceptedSinceCompaction = 0;
            }
        }
    }

    TextInterner interner_;
    std::vector<NormalizedMarker> old_;
    std::vector<NormalizedMarker> new_;
    std::vector<bool> oldUsed_;
    std::vector<bool> newUsed_;
    MarkerMatching matching_;
};

}  // namespace

MarkerMatching matchMarkersFast(const std::vector<LightingMarker>& oldMarkers,
                                const std::vector<LightingMarker>& newMarkers) {
    return Matcher(oldMarkers, newMarkers).run();
}

}  // namespace lanternwick
