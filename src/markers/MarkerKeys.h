#pragma once
// The interning behind matchMarkersFast: every compared field of every
// marker reduced to a small integer key, equal keys for values the score
// counts as equal, so that grouping markers is comparing integers. Values
// and pure functions; the keys of one call are meaningless in another.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "markers/LightingMarker.h"
#include "markers/MatchScore.h"

namespace lanternwick::markermatch {

// A feature's value reduced to a small integer; equal keys are equal values.
using Key = std::uint32_t;
using KeyTuple = std::array<Key, featureCount>;
constexpr Key blankKey = 0;  // the blank text, the absent cue list or number
constexpr Key neverEqual = std::numeric_limits<Key>::max();

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

struct KeyTupleHash {
    std::uint64_t operator()(const KeyTuple& key) const {
        std::uint64_t hash = 0;
        for (const Key k : key) hash = (hash ^ k) * 0x9e3779b97f4a7c15ULL;
        return hash ^ (hash >> 31);
    }
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

MarkerKeys markerKeys(const std::vector<LightingMarker>& oldMarkers, const std::vector<LightingMarker>& newMarkers);

}  // namespace lanternwick::markermatch
