#include "markers/FastMarkerMatch.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <numeric>
#include <optional>
#include <queue>
#include <span>
#include <string>
#include <tuple>
#include <utility>

#include "support/TextRules.h"

namespace lanternwick {
namespace {

constexpr std::int64_t matchThreshold = 54;
constexpr double sameValueTolerance = 0.0001;

// The compared fields, each with its weight in the score.
enum Feature : std::size_t {
    cueListFeature,
    typeFeature,
    trackFeature,
    cueIDFeature,
    labelFeature,
    positionFeature,
    fadeFeature,
    fadeOutFeature,
    featureCount
};
constexpr std::array<std::int64_t, featureCount> featureWeights{40, 20, 20, 45, 30, 25, 5, 5};
constexpr std::int64_t equalIndexBonus = 3;

// Pairs are taken one sum of feature weights at a time, the bonus for an
// equal index ordering them inside it. That holds while every weight is a
// multiple of 5, the bonus is smaller, and no sum the threshold refuses is
// lifted over it by the bonus.
constexpr bool bonusStaysInsideItsSum() {
    for (const std::int64_t weight : featureWeights) {
        if (weight % 5 != 0) return false;
    }
    return equalIndexBonus < 5 && matchThreshold / 5 * 5 + equalIndexBonus <= matchThreshold;
}
static_assert(bonusStaysInsideItsSum());

// A set of features, bit f for feature f.
using Mask = std::uint8_t;
constexpr unsigned maskCount = 1U << featureCount;

bool contains(Mask mask, std::size_t feature) { return ((mask >> feature) & 1U) != 0; }

// A feature's value reduced to a small integer; equal keys are equal values.
using Key = std::uint32_t;
using KeyTuple = std::array<Key, featureCount>;
constexpr Key blankKey = 0;  // the blank text, the absent cue list or number
constexpr Key neverEqual = std::numeric_limits<Key>::max();

std::string_view trimmedASCII(std::string_view text) {
    // The ASCII part of Unicode white space, line ends included.
    const auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Numbers distinct values densely, from 0, in order of first sight: open
// addressing over the values' hashes, kept at most half full.
template <typename Value, typename Hash>
class FirstSightNumbers {
public:
    FirstSightNumbers() { clear(); }

    void clear(std::size_t expected = 0) {
        values_.clear();
        slots_.assign(std::bit_ceil(std::max<std::size_t>(64, 2 * expected + 2)), Slot{});
    }

    // `keep` turns a value seen for the first time into the one stored: a
    // copy that lives as long as the numbers are used.
    template <typename Keep>
    std::uint32_t numberOf(const Value& value, Keep keep) {
        if (2 * (values_.size() + 1) > slots_.size()) grow();
        const std::uint64_t hash = Hash{}(value);
        std::size_t at = hash & (slots_.size() - 1);
        for (; slots_[at].number != noNumber; at = (at + 1) & (slots_.size() - 1)) {
            if (slots_[at].hash == hash && values_[slots_[at].number] == value) return slots_[at].number;
        }
        slots_[at] = {hash, static_cast<std::uint32_t>(values_.size())};
        values_.push_back(keep(value));
        return slots_[at].number;
    }

    std::uint32_t numberOf(const Value& value) {
        return numberOf(value, [](const Value& v) { return v; });
    }

    std::size_t size() const { return values_.size(); }

private:
    static constexpr std::uint32_t noNumber = std::numeric_limits<std::uint32_t>::max();

    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t number = noNumber;
    };

    void grow() {
        std::vector<Slot> old(slots_.size() * 2, Slot{});
        old.swap(slots_);
        for (const Slot& slot : old) {
            if (slot.number == noNumber) continue;
            std::size_t at = slot.hash & (slots_.size() - 1);
            while (slots_[at].number != noNumber) at = (at + 1) & (slots_.size() - 1);
            slots_[at] = slot;
        }
    }

    std::vector<Value> values_;
    std::vector<Slot> slots_;
};

struct TextHash {
    std::uint64_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// Texts are equal for the score when their trimmed canonical forms are, so
// that form is the key. ASCII is its own canonical form, which spares the
// usual case the copies and the normaliser (the key is a view into the
// marker, which outlives the matching), and a text equal to the one before
// it (the track and type of most markers) is not looked up at all.
class TextInterner {
public:
    Key keyOf(std::string_view text) {
        if (lastKey_ && text == lastText_) return *lastKey_;
        const Key key = isASCII(text) ? keyOfTrimmed(trimmedASCII(text)) : keyOfCanonical(canonicalForm(trimmed(text)));
        lastText_ = text;
        lastKey_ = key;
        return key;
    }

private:
    Key keyOfTrimmed(std::string_view trimmedText) {
        if (trimmedText.empty()) return blankKey;
        return numbers_.numberOf(trimmedText) + 1;
    }

    Key keyOfCanonical(std::string form) {
        if (form.empty()) return blankKey;
        return numbers_.numberOf(form, [this](std::string_view newForm) {
            return std::string_view(ownedForms_.emplace_back(newForm));
        }) + 1;
    }

    FirstSightNumbers<std::string_view, TextHash> numbers_;
    std::deque<std::string> ownedForms_;
    std::string_view lastText_;
    std::optional<Key> lastKey_;
};

class CueListKeys {
public:
    Key keyOf(const std::optional<std::int64_t>& cueList) {
        return cueList ? numbers_.numberOf(*cueList) + 1 : blankKey;
    }

private:
    FirstSightNumbers<std::int64_t, std::hash<std::int64_t>> numbers_;
};

// The distinct finite values of one number field among the new markers. Two
// numbers are the same within a tolerance, which is not transitive, so an
// old value is given every new value it is the same as (in real files one or
// none). Infinities and NaN are the same as nothing, themselves included.
class NumberKeys {
public:
    NumberKeys(const std::vector<LightingMarker>& newMarkers, std::optional<double> LightingMarker::*field) {
        for (const LightingMarker& m : newMarkers) {
            if (const auto& value = m.*field; value && std::isfinite(*value)) values_.push_back(*value);
        }
        // Runs of one value (the fade of most markers) shrink before the sort.
        values_.erase(std::unique(values_.begin(), values_.end()), values_.end());
        if (std::is_sorted(values_.begin(), values_.end())) return;
        std::sort(values_.begin(), values_.end());
        values_.erase(std::unique(values_.begin(), values_.end()), values_.end());
    }

    Key newKey(const std::optional<double>& value) {
        if (!value) return blankKey;
        if (!std::isfinite(*value)) return neverEqual;
        return static_cast<Key>(lowerBound(*value) + 1);
    }

    // The difference grows monotonically away from the value, rounding
    // included, so the walk stops at the first new value out of tolerance.
    void appendOldKeys(const std::optional<double>& value, std::vector<Key>& keys) {
        if (!value) {
            keys.push_back(blankKey);
            return;
        }
        if (!std::isfinite(*value)) return;
        const std::size_t middle = lowerBound(*value);
        for (auto k = middle; k > 0 && std::fabs(*value - values_[k - 1]) <= sameValueTolerance; --k) {
            keys.push_back(static_cast<Key>(k));
        }
        for (auto k = middle; k < values_.size() && std::fabs(*value - values_[k]) <= sameValueTolerance; ++k) {
            keys.push_back(static_cast<Key>(k + 1));
        }
    }

private:
    // Numbers in a file mostly ascend, so the answer is mostly the previous
    // one or the next.
    std::size_t lowerBound(double value) {
        const auto isLowerBound = [&](std::size_t k) {
            return k <= values_.size() && (k == values_.size() || value <= values_[k]) &&
                   (k == 0 || values_[k - 1] < value);
        };
        if (!isLowerBound(lastLowerBound_) && !isLowerBound(++lastLowerBound_)) {
            lastLowerBound_ = static_cast<std::size_t>(std::lower_bound(values_.begin(), values_.end(), value) -
                                                       values_.begin());
        }
        return lastLowerBound_;
    }

    std::vector<double> values_;
    std::size_t lastLowerBound_ = 0;
};

// What the score compares, as keys: a new marker has one key per feature;
// an old marker has per feature the list of new keys it counts as equal to,
// empty where it equals nothing (a blank cue id or label: only the old side
// is tested for emptiness).
struct MarkerKeys {
    std::vector<KeyTuple> newKeys;
    std::vector<Key> oldKeyPool;
    // Old marker i, feature f: oldKeyPool from starts[i * featureCount + f] to the next start.
    std::vector<std::uint32_t> oldKeyStarts;

    std::span<const Key> oldKeys(std::size_t i, std::size_t feature) const {
        const std::size_t at = i * featureCount + feature;
        return std::span<const Key>(oldKeyPool).subspan(oldKeyStarts[at], oldKeyStarts[at + 1] - oldKeyStarts[at]);
    }
};

// An old marker's text is mostly byte for byte the text of the new marker
// at a steady offset (none before an edit, one after an insertion at the
// top), whose key it then takes without a lookup; the offset follows the
// last text that was looked up.
class OldTextKeys {
public:
    OldTextKeys(TextInterner& interner, const std::vector<LightingMarker>& newMarkers, const MarkerKeys& keys,
                Feature feature, const std::string LightingMarker::*field)
        : interner_(interner), newMarkers_(newMarkers), keys_(keys), feature_(feature), field_(field) {
        for (std::uint32_t j = 0; j < newMarkers.size(); ++j) {
            const Key key = keys.newKeys[j][feature];
            if (key >= firstNewPosition_.size()) firstNewPosition_.resize(key + 1, noPosition);
            if (firstNewPosition_[key] == noPosition) firstNewPosition_[key] = j;
        }
    }

    Key keyOf(std::size_t i, const LightingMarker& m) {
        const std::string& text = m.*field_;
        const std::size_t j = i + offset_;
        if (j < newMarkers_.size() && text == newMarkers_[j].*field_) return keys_.newKeys[j][feature_];
        const Key key = interner_.keyOf(text);
        if (key < firstNewPosition_.size() && firstNewPosition_[key] != noPosition) {
            offset_ = firstNewPosition_[key] - i;
        }
        return key;
    }

private:
    static constexpr std::uint32_t noPosition = std::numeric_limits<std::uint32_t>::max();

    TextInterner& interner_;
    const std::vector<LightingMarker>& newMarkers_;
    const MarkerKeys& keys_;
    const Feature feature_;
    const std::string LightingMarker::*field_;
    std::vector<std::uint32_t> firstNewPosition_;
    // Wraps around for a negative offset, as unsigned arithmetic does.
    std::size_t offset_ = 0;
};

MarkerKeys markerKeys(const std::vector<LightingMarker>& oldMarkers, const std::vector<LightingMarker>& newMarkers) {
    CueListKeys cueLists;
    TextInterner types, tracks, cueIDs, labels;
    NumberKeys positions(newMarkers, &LightingMarker::position);
    NumberKeys fades(newMarkers, &LightingMarker::fade);
    NumberKeys fadeOuts(newMarkers, &LightingMarker::fadeOut);

    MarkerKeys keys;
    keys.newKeys.reserve(newMarkers.size());
    for (const LightingMarker& m : newMarkers) {
        keys.newKeys.push_back({cueLists.keyOf(m.cueList), types.keyOf(m.markerTypeName), tracks.keyOf(m.trackName),
                                cueIDs.keyOf(m.manualCueID), labels.keyOf(m.label), positions.newKey(m.position),
                                fades.newKey(m.fade), fadeOuts.newKey(m.fadeOut)});
    }
    OldTextKeys oldTypes(types, newMarkers, keys, typeFeature, &LightingMarker::markerTypeName);
    OldTextKeys oldTracks(tracks, newMarkers, keys, trackFeature, &LightingMarker::trackName);
    OldTextKeys oldCueIDs(cueIDs, newMarkers, keys, cueIDFeature, &LightingMarker::manualCueID);
    OldTextKeys oldLabels(labels, newMarkers, keys, labelFeature, &LightingMarker::label);

    keys.oldKeyPool.reserve(oldMarkers.size() * featureCount);
    keys.oldKeyStarts.reserve(oldMarkers.size() * featureCount + 1);
    const auto startFeature = [&keys] {
        keys.oldKeyStarts.push_back(static_cast<std::uint32_t>(keys.oldKeyPool.size()));
    };
    const auto addNonBlank = [&keys](Key key) {
        if (key != blankKey) keys.oldKeyPool.push_back(key);
    };
    for (std::size_t i = 0; i < oldMarkers.size(); ++i) {
        const LightingMarker& m = oldMarkers[i];
        startFeature();
        keys.oldKeyPool.push_back(cueLists.keyOf(m.cueList));
        startFeature();
        keys.oldKeyPool.push_back(oldTypes.keyOf(i, m));
        startFeature();
        keys.oldKeyPool.push_back(oldTracks.keyOf(i, m));
        startFeature();
        addNonBlank(oldCueIDs.keyOf(i, m));
        startFeature();
        addNonBlank(oldLabels.keyOf(i, m));
        startFeature();
        positions.appendOldKeys(m.position, keys.oldKeyPool);
        startFeature();
        fades.appendOldKeys(m.fade, keys.oldKeyPool);
        startFeature();
        fadeOuts.appendOldKeys(m.fadeOut, keys.oldKeyPool);
    }
    startFeature();
    return keys;
}

// The feature sets of one sum of weights, highest sum first; only sums over
// the threshold.
struct ScoreLevel {
    std::int64_t score = 0;
    std::vector<Mask> masks;
};

const std::vector<ScoreLevel>& scoreLevels() {
    static const std::vector<ScoreLevel> levels = [] {
        std::map<std::int64_t, std::vector<Mask>, std::greater<>> masksByScore;
        for (unsigned mask = 0; mask < maskCount; ++mask) {
            std::int64_t score = 0;
            for (std::size_t f = 0; f < featureCount; ++f) {
                if (contains(static_cast<Mask>(mask), f)) score += featureWeights[f];
            }
            if (score > matchThreshold) masksByScore[score].push_back(static_cast<Mask>(mask));
        }
        std::vector<ScoreLevel> result;
        for (auto& [score, masks] : masksByScore) result.push_back({score, std::move(masks)});
        return result;
    }();
    return levels;
}

// One pair in the order of acceptance: smaller index distance first, then
// lower old position, then lower new (within one sum of weights).
struct Candidate {
    std::uint64_t indexDistance = 0;
    std::uint32_t oldPosition = 0;
    std::uint32_t newPosition = 0;

    friend auto operator<=>(const Candidate&, const Candidate&) = default;
};

std::uint64_t distance(std::int64_t a, std::int64_t b) {
    return a > b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                 : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
}

// A free marker as a member of a group: within a group, members come by
// index, old before new, then by position.
struct GroupMember {
    std::int64_t index = 0;
    std::uint32_t position = 0;
    bool isNew = false;

    auto order() const { return std::tuple(index, isNew, position); }
};

struct KeyTupleHash {
    std::uint64_t operator()(const KeyTuple& key) const {
        std::uint64_t hash = 0;
        for (const Key k : key) hash = (hash ^ k) * 0x9e3779b97f4a7c15ULL;
        return hash ^ (hash >> 31);
    }
};

// The groups of one sum of weights, their markers laid out by index, and the
// pairs among them in acceptance order. Within a group every old marker
// pairs with every new one, so the group's best pair lies within one index
// or between neighbouring indexes: a node per index holds the group's
// markers of that index and offers those pairs. Taking a marker refreshes
// the offers of the nodes it is in; an offer whose markers were taken since
// is dropped when it comes up.
class LevelBlocks {
public:
    LevelBlocks(const std::vector<bool>& oldUsed, const std::vector<bool>& newUsed)
        : oldUsed_(oldUsed),
          newUsed_(newUsed),
          firstOldMembership_(oldUsed.size(), noMembership),
          firstNewMembership_(newUsed.size(), noMembership) {}

    // `members`: one group with both sides, by index, old before new, then position.
    void addGroup(std::span<const GroupMember> members) {
        std::uint32_t previous = noNode;
        for (std::size_t at = 0; at < members.size();) {
            const auto n = static_cast<std::uint32_t>(nodes_.size());
            Node node{.index = members[at].index, .previous = previous};
            node.oldCursor = static_cast<std::uint32_t>(positions_.size());
            for (; at < members.size() && members[at].index == node.index && !members[at].isNew; ++at) {
                positions_.push_back(members[at].position);
                addMembership(firstOldMembership_[members[at].position], n);
            }
            node.oldEnd = node.newCursor = static_cast<std::uint32_t>(positions_.size());
            for (; at < members.size() && members[at].index == node.index; ++at) {
                positions_.push_back(members[at].position);
                addMembership(firstNewMembership_[members[at].position], n);
            }
            node.newEnd = static_cast<std::uint32_t>(positions_.size());
            if (previous != noNode) nodes_[previous].next = n;
            nodes_.push_back(node);
            previous = n;
        }
    }

    // After the last group. The first offers are many and often in order
    // already: a sorted list serves them, the queue only the later ones.
    void seed() {
        seeding_ = true;
        for (std::uint32_t n = 0; n < nodes_.size(); ++n) {
            nodes_[n].offeredOld = firstOld(nodes_[n]);
            nodes_[n].offeredNew = firstNew(nodes_[n]);
            offerWithin(n);
        }
        for (std::uint32_t n = 0; n < nodes_.size(); ++n) {
            if (nodes_[n].next != noNode) offerBetween(n, nodes_[n].next);
        }
        seeding_ = false;
        if (!std::is_sorted(seeded_.begin(), seeded_.end())) std::sort(seeded_.begin(), seeded_.end());
    }

    // The first pair in acceptance order whose markers are both free.
    std::optional<Candidate> next() {
        for (;;) {
            const bool seededFirst =
                nextSeeded_ < seeded_.size() && (offers_.empty() || seeded_[nextSeeded_] < offers_.top());
            if (!seededFirst && offers_.empty()) return std::nullopt;
            Candidate top;
            if (seededFirst) {
                top = seeded_[nextSeeded_++];
            } else {
                top = offers_.top();
                offers_.pop();
            }
            if (!oldUsed_[top.oldPosition] && !newUsed_[top.newPosition]) return top;
        }
    }

    // Call once the marker is marked used.
    void oldTaken(std::uint32_t position) { refreshNodesFrom(firstOldMembership_[position]); }
    void newTaken(std::uint32_t position) { refreshNodesFrom(firstNewMembership_[position]); }

private:
    static constexpr std::uint32_t noNode = std::numeric_limits<std::uint32_t>::max();
    static constexpr std::uint32_t noMembership = std::numeric_limits<std::uint32_t>::max();

    // The nodes a marker is in, as a list through memberships_.
    struct Membership {
        std::uint32_t node = noNode;
        std::uint32_t next = noMembership;
    };

    // Cursors move past taken markers; each side's markers are by position.
    struct Node {
        std::int64_t index = 0;
        std::uint32_t oldCursor = 0;
        std::uint32_t oldEnd = 0;
        std::uint32_t newCursor = 0;
        std::uint32_t newEnd = 0;
        std::uint32_t previous = noNode;
        std::uint32_t next = noNode;
        bool unlinked = false;
        // The first free markers the offers in the queue were made with.
        std::optional<std::uint32_t> offeredOld;
        std::optional<std::uint32_t> offeredNew;
    };

    std::optional<std::uint32_t> firstFree(std::uint32_t& cursor, std::uint32_t end,
                                           const std::vector<bool>& used) const {
        while (cursor < end && used[positions_[cursor]]) ++cursor;
        if (cursor == end) return std::nullopt;
        return positions_[cursor];
    }
    std::optional<std::uint32_t> firstOld(Node& node) const { return firstFree(node.oldCursor, node.oldEnd, oldUsed_); }
    std::optional<std::uint32_t> firstNew(Node& node) const { return firstFree(node.newCursor, node.newEnd, newUsed_); }

    void offer(std::uint64_t indexDistance, std::optional<std::uint32_t> oldPosition,
               std::optional<std::uint32_t> newPosition) {
        if (!oldPosition || !newPosition) return;
        if (seeding_) {
            seeded_.push_back({indexDistance, *oldPosition, *newPosition});
        } else {
            offers_.push({indexDistance, *oldPosition, *newPosition});
        }
    }

    void offerWithin(std::uint32_t n) { offer(0, firstOld(nodes_[n]), firstNew(nodes_[n])); }

    void offerBetween(std::uint32_t low, std::uint32_t high) {
        const std::uint64_t apart = distance(nodes_[low].index, nodes_[high].index);
        offer(apart, firstOld(nodes_[low]), firstNew(nodes_[high]));
        offer(apart, firstOld(nodes_[high]), firstNew(nodes_[low]));
    }

    // Pairs the first free marker of one side of node n with the first free
    // markers of the other side at n and at its neighbours.
    void offerAround(std::uint32_t n, bool oldSide) {
        const auto offerWith = [&](std::uint32_t other) {
            const std::uint64_t apart = distance(nodes_[n].index, nodes_[other].index);
            if (oldSide) {
                offer(apart, firstOld(nodes_[n]), firstNew(nodes_[other]));
            } else {
                offer(apart, firstOld(nodes_[other]), firstNew(nodes_[n]));
            }
        };
        offerWith(n);
        if (nodes_[n].previous != noNode) offerWith(nodes_[n].previous);
        if (nodes_[n].next != noNode) offerWith(nodes_[n].next);
    }

    // Offers made with a first marker that is still free remain valid in the
    // queue; only a side whose first marker changed needs new ones.
    void refresh(std::uint32_t n) {
        Node& node = nodes_[n];
        if (node.unlinked) return;
        const auto oldFirst = firstOld(node);
        const auto newFirst = firstNew(node);
        if (oldFirst || newFirst) {
            if (oldFirst != node.offeredOld) {
                node.offeredOld = oldFirst;
                offerAround(n, true);
            }
            if (newFirst != node.offeredNew) {
                node.offeredNew = newFirst;
                offerAround(n, false);
            }
            return;
        }
        node.unlinked = true;
        if (node.previous != noNode) nodes_[node.previous].next = node.next;
        if (node.next != noNode) nodes_[node.next].previous = node.previous;
        if (node.previous != noNode && node.next != noNode) offerBetween(node.previous, node.next);
    }

    void addMembership(std::uint32_t& first, std::uint32_t node) {
        memberships_.push_back({node, first});
        first = static_cast<std::uint32_t>(memberships_.size() - 1);
    }

    void refreshNodesFrom(std::uint32_t membership) {
        for (; membership != noMembership; membership = memberships_[membership].next) {
            refresh(memberships_[membership].node);
        }
    }

    const std::vector<bool>& oldUsed_;
    const std::vector<bool>& newUsed_;
    std::vector<Node> nodes_;
    std::vector<std::uint32_t> positions_;
    std::vector<Membership> memberships_;
    std::vector<std::uint32_t> firstOldMembership_;
    std::vector<std::uint32_t> firstNewMembership_;
    bool seeding_ = false;
    std::vector<Candidate> seeded_;
    std::size_t nextSeeded_ = 0;
    std::priority_queue<Candidate, std::vector<Candidate>, std::greater<>> offers_;
};

// The feature sets a free marker can pair under: none that lacks a feature
// it shares with every free marker of the other side (such a pair would sum
// more, and the higher sums are done), none with a feature it cannot share.
struct MaskRange {
    Mask forced = 0;
    Mask possible = 0;

    bool admits(Mask mask) const { return (forced & ~mask) == 0 && (mask & ~possible) == 0; }
};

bool anyAdmits(const std::vector<MaskRange>& ranges, Mask mask) {
    return std::any_of(ranges.begin(), ranges.end(), [mask](const MaskRange& range) { return range.admits(mask); });
}

std::vector<MaskRange> distinctRanges(const std::vector<MaskRange>& rangeOf, const std::vector<std::uint32_t>& free) {
    std::vector<bool> seen(maskCount * maskCount, false);
    std::vector<MaskRange> distinct;
    for (const std::uint32_t position : free) {
        const MaskRange range = rangeOf[position];
        if (const std::size_t code = range.forced * maskCount + range.possible; !seen[code]) {
            seen[code] = true;
            distinct.push_back(range);
        }
    }
    return distinct;
}

using CommonKeys = std::array<std::optional<Key>, featureCount>;

// Greedy acceptance by sum of weights, highest first. When a sum begins, no
// free pair sums more (it would have been taken), so the free pairs that
// share every feature of one of the sum's sets sum exactly that, and share
// no other set of the sum; these groups hold all the sum's pairs, each once.
class Matcher {
public:
    Matcher(const std::vector<LightingMarker>& oldMarkers, const std::vector<LightingMarker>& newMarkers)
        : keys_(markerKeys(oldMarkers, newMarkers)),
          oldUsed_(oldMarkers.size(), false),
          newUsed_(newMarkers.size(), false),
          oldRangeOf_(oldMarkers.size()),
          newRangeOf_(newMarkers.size()) {
        for (const LightingMarker& m : oldMarkers) oldIndexes_.push_back(m.index);
        for (const LightingMarker& m : newMarkers) newIndexes_.push_back(m.index);
        for (std::uint32_t i = 0; i < oldMarkers.size(); ++i) {
            freeOld_.push_back(i);
            oldRangeOf_[i].possible = oldPossible(i);
        }
        for (std::uint32_t j = 0; j < newMarkers.size(); ++j) {
            freeNew_.push_back(j);
            newRangeOf_[j].possible = newPossible(j);
        }
        matching_.pairs.reserve(std::min(oldMarkers.size(), newMarkers.size()));
    }

    MarkerMatching run() {
        refreshFreeMarkers();
        for (const ScoreLevel& level : scoreLevels()) {
            if (freeOld_.empty() || freeNew_.empty()) break;
            if (matchLevel(level) > 0) refreshFreeMarkers();
        }
        for (std::size_t i = 0; i < oldUsed_.size(); ++i) {
            if (!oldUsed_[i]) matching_.unmatchedOld.push_back(i);
        }
        for (std::size_t j = 0; j < newUsed_.size(); ++j) {
            if (!newUsed_[j]) matching_.unmatchedNew.push_back(j);
        }
        return std::move(matching_);
    }

private:
    std::size_t matchLevel(const ScoreLevel& level) {
        std::vector<Mask> masks;
        std::copy_if(level.masks.begin(), level.masks.end(), std::back_inserter(masks), [this](Mask mask) {
            return anyAdmits(oldRangeKinds_, mask) && anyAdmits(newRangeKinds_, mask);
        });
        if (masks.empty()) return 0;
        LevelBlocks blocks(oldUsed_, newUsed_);
        for (const Mask mask : masks) addGroups(mask, blocks);
        blocks.seed();
        std::size_t accepted = 0;
        while (const auto pair = blocks.next()) {
            oldUsed_[pair->oldPosition] = true;
            blocks.oldTaken(pair->oldPosition);
            newUsed_[pair->newPosition] = true;
            blocks.newTaken(pair->newPosition);
            matching_.pairs.push_back({pair->oldPosition, pair->newPosition});
            ++accepted;
        }
        return accepted;
    }

    // Numbers the groups in one pass over the free markers in member order,
    // then buckets the members stably, so each group keeps that order.
    void addGroups(Mask mask, LevelBlocks& blocks) {
        groupNumbers_.clear(order_.size());
        numbered_.clear();
        for (const GroupMember& m : order_) {
            if (m.isNew) {
                if (!newRangeOf_[m.position].admits(mask)) continue;
                numbered_.emplace_back(groupNumbers_.numberOf(newKey(m.position, mask)), m);
            } else if (oldRangeOf_[m.position].admits(mask)) {
                forEachOldKey(m.position, mask, [&](const KeyTuple& key) {
                    numbered_.emplace_back(groupNumbers_.numberOf(key), m);
                });
            }
        }
        std::vector<std::uint32_t> starts(groupNumbers_.size() + 1, 0);
        std::vector<std::uint8_t> sides(groupNumbers_.size(), 0);
        for (const auto& [group, m] : numbered_) {
            ++starts[group + 1];
            sides[group] |= m.isNew ? 2 : 1;
        }
        std::partial_sum(starts.begin(), starts.end(), starts.begin());
        std::vector<std::uint32_t> next(starts.begin(), starts.end() - 1);
        grouped_.resize(numbered_.size());
        for (const auto& [group, m] : numbered_) grouped_[next[group]++] = m;
        for (std::size_t group = 0; group < sides.size(); ++group) {
            if (sides[group] == 3) {
                blocks.addGroup(std::span(grouped_).subspan(starts[group], starts[group + 1] - starts[group]));
            }
        }
    }

    // An old marker joins one group per combination of the new keys it
    // counts as equal to (one, but for numbers within the tolerance of
    // several distinct new numbers).
    template <typename Visit>
    void forEachOldKey(std::uint32_t i, Mask mask, Visit visit) const {
        std::array<std::span<const Key>, featureCount> choices;
        for (std::size_t f = 0; f < featureCount; ++f) {
            if (!contains(mask, f)) continue;
            choices[f] = keys_.oldKeys(i, f);
            if (choices[f].empty()) return;
        }
        std::array<std::size_t, featureCount> chosen{};
        for (;;) {
            KeyTuple key{};
            for (std::size_t f = 0; f < featureCount; ++f) {
                if (contains(mask, f)) key[f] = choices[f][chosen[f]];
            }
            visit(key);
            std::size_t f = 0;
            for (; f < featureCount; ++f) {
                if (!contains(mask, f)) continue;
                if (++chosen[f] < choices[f].size()) break;
                chosen[f] = 0;
            }
            if (f == featureCount) return;
        }
    }

    KeyTuple newKey(std::uint32_t j, Mask mask) const {
        KeyTuple key{};
        for (std::size_t f = 0; f < featureCount; ++f) {
            if (contains(mask, f)) key[f] = keys_.newKeys[j][f];
        }
        return key;
    }

    void refreshFreeMarkers() {
        std::erase_if(freeOld_, [this](std::uint32_t i) { return oldUsed_[i]; });
        std::erase_if(freeNew_, [this](std::uint32_t j) { return newUsed_[j]; });
        if (freeOld_.empty() || freeNew_.empty()) return;
        const CommonKeys newCommon = commonNewKeys();
        const CommonKeys oldCommon = commonOldKeys();
        for (const std::uint32_t i : freeOld_) oldRangeOf_[i].forced = oldForced(i, newCommon);
        for (const std::uint32_t j : freeNew_) newRangeOf_[j].forced = newForced(j, oldCommon);
        oldRangeKinds_ = distinctRanges(oldRangeOf_, freeOld_);
        newRangeKinds_ = distinctRanges(newRangeOf_, freeNew_);
        orderFreeMarkers();
    }

    // Files number their markers in list order, so each side is usually in
    // member order already and a merge does.
    void orderFreeMarkers() {
        const auto before = [](const GroupMember& a, const GroupMember& b) { return a.order() < b.order(); };
        std::vector<GroupMember> olds;
        for (const std::uint32_t i : freeOld_) olds.push_back({oldIndexes_[i], i, false});
        std::vector<GroupMember> news;
        for (const std::uint32_t j : freeNew_) news.push_back({newIndexes_[j], j, true});
        if (!std::is_sorted(olds.begin(), olds.end(), before)) std::sort(olds.begin(), olds.end(), before);
        if (!std::is_sorted(news.begin(), news.end(), before)) std::sort(news.begin(), news.end(), before);
        order_.resize(olds.size() + news.size());
        std::merge(olds.begin(), olds.end(), news.begin(), news.end(), order_.begin(), before);
    }

    CommonKeys commonNewKeys() const {
        CommonKeys common;
        for (std::size_t f = 0; f < featureCount; ++f) {
            if (keys_.newKeys[freeNew_.front()][f] != neverEqual) common[f] = keys_.newKeys[freeNew_.front()][f];
        }
        for (const std::uint32_t j : freeNew_) {
            for (std::size_t f = 0; f < featureCount; ++f) {
                if (common[f] && keys_.newKeys[j][f] != *common[f]) common[f].reset();
            }
        }
        return common;
    }

    CommonKeys commonOldKeys() const {
        CommonKeys common;
        for (std::size_t f = 0; f < featureCount; ++f) {
            if (const auto first = keys_.oldKeys(freeOld_.front(), f); first.size() == 1) common[f] = first.front();
        }
        for (const std::uint32_t i : freeOld_) {
            for (std::size_t f = 0; f < featureCount; ++f) {
                const auto keys = keys_.oldKeys(i, f);
                if (common[f] && (keys.size() != 1 || keys.front() != *common[f])) common[f].reset();
            }
        }
        return common;
    }

    Mask oldPossible(std::uint32_t i) const {
        Mask possible = 0;
        for (std::size_t f = 0; f < featureCount; ++f) {
            if (!keys_.oldKeys(i, f).empty()) possible |= static_cast<Mask>(1U << f);
        }
        return possible;
    }

    Mask newPossible(std::uint32_t j) const {
        Mask possible = 0;
        for (std::size_t f = 0; f < featureCount; ++f) {
            const Key key = keys_.newKeys[j][f];
            // Old markers never offer a blank cue id or label.
            const bool blankText = (f == cueIDFeature || f == labelFeature) && key == blankKey;
            if (key != neverEqual && !blankText) possible |= static_cast<Mask>(1U << f);
        }
        return possible;
    }

    Mask oldForced(std::uint32_t i, const CommonKeys& newCommon) const {
        Mask forced = 0;
        for (std::size_t f = 0; f < featureCount; ++f) {
            if (!newCommon[f]) continue;
            const auto keys = keys_.oldKeys(i, f);
            if (std::find(keys.begin(), keys.end(), *newCommon[f]) != keys.end()) forced |= static_cast<Mask>(1U << f);
        }
        return forced;
    }

    Mask newForced(std::uint32_t j, const CommonKeys& oldCommon) const {
        Mask forced = 0;
        for (std::size_t f = 0; f < featureCount; ++f) {
            if (oldCommon[f] && keys_.newKeys[j][f] == *oldCommon[f]) forced |= static_cast<Mask>(1U << f);
        }
        return forced;
    }

    const MarkerKeys keys_;
    std::vector<std::int64_t> oldIndexes_;
    std::vector<std::int64_t> newIndexes_;
    std::vector<bool> oldUsed_;
    std::vector<bool> newUsed_;
    // The free markers, recomputed after every sum that took a pair: by
    // side, in member order, and each one's range by position.
    std::vector<std::uint32_t> freeOld_;
    std::vector<std::uint32_t> freeNew_;
    std::vector<GroupMember> order_;
    std::vector<MaskRange> oldRangeOf_;
    std::vector<MaskRange> newRangeOf_;
    std::vector<MaskRange> oldRangeKinds_;
    std::vector<MaskRange> newRangeKinds_;
    // Scratch of addGroups, kept between feature sets.
    FirstSightNumbers<KeyTuple, KeyTupleHash> groupNumbers_;
    std::vector<std::pair<std::uint32_t, GroupMember>> numbered_;
    std::vector<GroupMember> grouped_;
    MarkerMatching matching_;
};

}  // namespace

MarkerMatching matchMarkersFast(const std::vector<LightingMarker>& oldMarkers,
                                const std::vector<LightingMarker>& newMarkers) {
    return Matcher(oldMarkers, newMarkers).run();
}

}  // namespace lanternwick
