#include "markers/FastMarkerMatch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <numeric>
#include <optional>
#include <span>
#include <utility>

#include "markers/MarkerKeys.h"
#include "markers/MaskRange.h"
#include "markers/MatchScore.h"
#include "markers/ScoreLevelQueue.h"

namespace lanternwick {
namespace {

using namespace markermatch;

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
