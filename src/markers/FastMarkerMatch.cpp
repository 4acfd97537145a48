#include "markers/FastMarkerMatch.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <queue>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

#include <unicode/uchar.h>

#include "support/TextRules.h"

namespace lanternwick {
namespace {

constexpr std::int64_t matchThreshold = 54;
// A pair that shares neither cue id, label nor position scores at most
// 40 + 20 + 20 + 5 + 5 + 3 = 93, so every pair that scores this much shares
// one of the three and turns up in the joins.
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

std::string_view trimmedASCII(std::string_view text) {
    const auto isSpace = [](char c) { return u_isUWhiteSpace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Deliberately not noexcept: libstdc++ then keeps each key's hash in its
// node instead of hashing the stored key again on every probe.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// Texts are equal for the score when their trimmed canonical forms are, so
// that form is the key; ids are dense, from 1, per interner. ASCII is its
// own canonical form, which spares the usual case the copies and the
// normaliser, and a text equal to the one before it (the track and type of
// most markers) is not looked up at all.
class TextInterner {
public:
    explicit TextInterner(std::size_t expectedTexts) { ids_.reserve(expectedTexts); }

    TextID idOf(std::string_view text) {
        if (lastID_ && text == lastText_) return *lastID_;
        const TextID id = isASCII(text) ? idOfKey(trimmedASCII(text)) : idOfKey(canonicalForm(trimmed(text)));
        lastText_.assign(text);
        lastID_ = id;
        return id;
    }

    // One more than the largest id handed out.
    std::size_t idLimit() const { return ids_.size() + 1; }

private:
    TextID idOfKey(std::string_view key) {
        if (key.empty()) return blankText;
        if (const auto found = ids_.find(key); found != ids_.end()) return found->second;
        const auto id = static_cast<TextID>(ids_.size() + 1);
        ids_.emplace(std::string(key), id);
        return id;
    }

    std::unordered_map<std::string, TextID, TextHash, std::equal_to<>> ids_;
    std::string lastText_;
    std::optional<TextID> lastID_;
};

struct Interners {
    explicit Interners(std::size_t markerCount)
        : markerTypeName(markerCount), trackName(markerCount), manualCueID(markerCount), label(markerCount) {}

    TextInterner markerTypeName;
    TextInterner trackName;
    TextInterner manualCueID;
    TextInterner label;
};

std::vector<NormalizedMarker> normalized(const std::vector<LightingMarker>& markers, Interners& interners) {
    std::vector<NormalizedMarker> result;
    result.reserve(markers.size());
    for (const LightingMarker& m : markers) {
        result.push_back({m.cueList, interners.markerTypeName.idOf(m.markerTypeName),
                          interners.trackName.idOf(m.trackName), interners.manualCueID.idOf(m.manualCueID),
                          interners.label.idOf(m.label), m.position, m.fade, m.fadeOut, m.index});
    }
    return result;
}

// The new markers grouped by one text id, in ascending position within each
// group, in two flat arrays.
class GroupedPositions {
public:
    GroupedPositions(const std::vector<NormalizedMarker>& markers, TextID NormalizedMarker::*field,
                     std::size_t idLimit)
        : starts_(idLimit + 1, 0), positions_(markers.size()) {
        for (const NormalizedMarker& m : markers) ++starts_[m.*field + 1];
        for (std::size_t id = 1; id < starts_.size(); ++id) starts_[id] += starts_[id - 1];
        std::vector<std::size_t> next(starts_.begin(), starts_.end() - 1);
        for (std::size_t j = 0; j < markers.size(); ++j) positions_[next[markers[j].*field]++] = j;
    }

    std::span<const std::size_t> group(TextID id) const {
        return std::span<const std::size_t>(positions_).subspan(starts_[id], starts_[id + 1] - starts_[id]);
    }

private:
    std::vector<std::size_t> starts_;
    std::vector<std::size_t> positions_;
};

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

// New markers that agree in every field the score compares except cue id,
// label, position and index. Against one old marker they all score the same
// unless they share one of those; of the ones that share none, the best
// partner is the nearest by index.
struct LeftoverProfile {
    std::optional<std::int64_t> cueList;
    TextID markerTypeName = blankText;
    TextID trackName = blankText;
    std::optional<double> fade;
    std::optional<double> fadeOut;
    // Free members as (index, position): the first entry of an index holds
    // the lowest position, which wins a tie.
    std::set<std::pair<std::int64_t, std::size_t>> free;

    std::int64_t scoreAgainst(const NormalizedMarker& o) const {
        std::int64_t s = 0;
        if (o.cueList == cueList) s += 40;
        if (o.markerTypeName == markerTypeName) s += 20;
        if (o.trackName == trackName) s += 20;
        if (sameValue(o.fade, fade)) s += 5;
        if (sameValue(o.fadeOut, fadeOut)) s += 5;
        return s;
    }

    // The free member nearest to `index`, the lower position on a tie.
    std::optional<std::size_t> nearest(std::int64_t index) const {
        const auto above = free.lower_bound({index, 0});
        std::optional<std::pair<std::int64_t, std::size_t>> best;
        if (above != free.end()) best = *above;
        if (above != free.begin()) {
            const auto below = *free.lower_bound({std::prev(above)->first, 0});
            if (!best || index - below.first < best->first - index ||
                (index - below.first == best->first - index && below.second < best->second)) {
                best = below;
            }
        }
        if (!best) return std::nullopt;
        return best->second;
    }
};

// The bit pattern keeps the grouping exact whatever the value (even NaN).
using ValueKey = std::optional<std::uint64_t>;

ValueKey valueKey(const std::optional<double>& value) {
    if (!value) return std::nullopt;
    return std::bit_cast<std::uint64_t>(*value);
}

class Matcher {
public:
    Matcher(const std::vector<LightingMarker>& oldMarkers, const std::vector<LightingMarker>& newMarkers)
        : interners_(oldMarkers.size() + newMarkers.size()),
          old_(normalized(oldMarkers, interners_)),
          new_(normalized(newMarkers, interners_)),
          oldUsed_(old_.size(), false),
          newUsed_(new_.size(), false),
          byCueID_(new_, &NormalizedMarker::manualCueID, interners_.manualCueID.idLimit()),
          byLabel_(new_, &NormalizedMarker::label, interners_.label.idLimit()) {
        for (std::size_t j = 0; j < new_.size(); ++j) {
            const NormalizedMarker& n = new_[j];
            if (!n.position) {
                withoutPosition_.push_back(j);
            } else if (!std::isnan(*n.position)) {
                byPosition_.emplace_back(*n.position, j);
            }
        }
        std::sort(byPosition_.begin(), byPosition_.end());
    }

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

    // Calls `visit` with every new position that shares the cue id, the label
    // or the position of old marker i, each once.
    template <typename Visit>
    void forEachJoined(std::size_t i, Visit visit) const {
        const NormalizedMarker& o = old_[i];
        if (o.manualCueID != blankText) {
            for (const std::size_t j : byCueID_.group(o.manualCueID)) visit(j);
        }
        if (o.label != blankText) {
            for (const std::size_t j : byLabel_.group(o.label)) {
                if (!sameCueID(o, new_[j])) visit(j);
            }
        }
        const auto visitByPosition = [&](std::size_t j) {
            if (!sameCueID(o, new_[j]) && !sameLabel(o, new_[j])) visit(j);
        };
        if (!o.position) {
            for (const std::size_t j : withoutPosition_) visitByPosition(j);
        } else if (!std::isnan(*o.position)) {
            const double p = *o.position;
            auto it = std::lower_bound(byPosition_.begin(), byPosition_.end(), p - positionWindow,
                                       [](const auto& entry, double value) { return entry.first < value; });
            for (; it != byPosition_.end() && it->first <= p + positionWindow; ++it) {
                if (std::fabs(p - it->first) <= sameValueTolerance) visitByPosition(it->second);
            }
        }
    }

    // Every candidate at or above joinedThreshold, found through the fields
    // it must share, in acceptance order.
    void acceptJoinedPairs() {
        std::vector<Candidate> candidates;
        for (std::size_t i = 0; i < old_.size(); ++i) {
            forEachJoined(i, [&](std::size_t j) {
                const Candidate c = candidate(old_, new_, i, j);
                if (c.score >= joinedThreshold) candidates.push_back(c);
            });
        }
        std::sort(candidates.begin(), candidates.end(), acceptedBefore);
        for (const Candidate& c : candidates) {
            if (!oldUsed_[c.oldPosition] && !newUsed_[c.newPosition]) accept(c.oldPosition, c.newPosition);
        }
    }

    void groupFreeNewMarkers() {
        std::map<std::tuple<std::optional<std::int64_t>, TextID, TextID, ValueKey, ValueKey>, std::size_t> profileIDs;
        profileOf_.assign(new_.size(), 0);
        for (std::size_t j = 0; j < new_.size(); ++j) {
            if (newUsed_[j]) continue;
            const NormalizedMarker& n = new_[j];
            const auto [entry, inserted] = profileIDs.try_emplace(
                {n.cueList, n.markerTypeName, n.trackName, valueKey(n.fade), valueKey(n.fadeOut)}, profiles_.size());
            if (inserted) profiles_.push_back({n.cueList, n.markerTypeName, n.trackName, n.fade, n.fadeOut, {}});
            profiles_[entry->second].free.emplace(n.index, j);
            profileOf_[j] = entry->second;
        }
    }

    // The best remaining partner of old marker i among the free new markers:
    // the best of those it shares a joined field with, and of the nearest
    // free member of each profile. A nearest member that is itself joined
    // scores more than the rest of its profile, so it still stands for it.
    std::optional<Candidate> bestPartner(std::size_t i) const {
        std::optional<Candidate> best;
        const auto offer = [&](std::size_t j) {
            if (newUsed_[j]) return;
            const Candidate c = candidate(old_, new_, i, j);
            if (c.score > matchThreshold && (!best || acceptedBefore(c, *best))) best = c;
        };
        forEachJoined(i, offer);
        for (const LeftoverProfile& profile : profiles_) {
            // An equal index adds 3 points at most.
            if (profile.free.empty() || profile.scoreAgainst(old_[i]) + 3 <= matchThreshold) continue;
            if (const auto j = profile.nearest(old_[i].index)) offer(*j);
        }
        return best;
    }

    // What the joins left: no free pair reaches joinedThreshold any more, so
    // the remaining free markers are paired greedily, keeping only each old
    // marker's current best partner in a queue. An entry whose partner was
    // taken meanwhile is recomputed when it comes up; since partners only
    // ever disappear, a recomputed entry never ranks higher.
    void acceptLeftoverPairs() {
        groupFreeNewMarkers();
        if (profiles_.empty()) return;

        const auto after = [](const Candidate& a, const Candidate& b) { return acceptedBefore(b, a); };
        std::priority_queue<Candidate, std::vector<Candidate>, decltype(after)> queue(after);
        for (std::size_t i = 0; i < old_.size(); ++i) {
            if (oldUsed_[i]) continue;
            if (const auto best = bestPartner(i)) queue.push(*best);
        }
        while (!queue.empty()) {
            const Candidate top = queue.top();
            queue.pop();
            if (newUsed_[top.newPosition]) {
                if (const auto best = bestPartner(top.oldPosition)) queue.push(*best);
                continue;
            }
            accept(top.oldPosition, top.newPosition);
            profiles_[profileOf_[top.newPosition]].free.erase({new_[top.newPosition].index, top.newPosition});
        }
    }

    Interners interners_;
    std::vector<NormalizedMarker> old_;
    std::vector<NormalizedMarker> new_;
    std::vector<bool> oldUsed_;
    std::vector<bool> newUsed_;
    GroupedPositions byCueID_;
    GroupedPositions byLabel_;
    std::vector<std::pair<double, std::size_t>> byPosition_;
    std::vector<std::size_t> withoutPosition_;
    std::vector<LeftoverProfile> profiles_;
    std::vector<std::size_t> profileOf_;
    MarkerMatching matching_;
};

}  // namespace

MarkerMatching matchMarkersFast(const std::vector<LightingMarker>& oldMarkers,
                                const std::vector<LightingMarker>& newMarkers) {
    return Matcher(oldMarkers, newMarkers).run();
}

}  // namespace lanternwick
