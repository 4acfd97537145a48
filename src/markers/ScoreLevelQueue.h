#pragma once
// The level queue behind matchMarkersFast: the sums of weights over the
// threshold, highest first, each with its feature sets, and for one sum the
// groups of free markers and their pairs in acceptance order. Touched by
// one matching at a time; it reads the matcher's used flags, never writes
// them.

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <queue>
#include <span>
#include <tuple>
#include <vector>

#include "markers/MaskRange.h"

namespace lanternwick::markermatch {

// The feature sets of one sum of weights, highest sum first; only sums over
// the threshold.
struct ScoreLevel {
    std::int64_t score = 0;
    std::vector<Mask> masks;
};

const std::vector<ScoreLevel>& scoreLevels();

// One pair in the order of acceptance: smaller index distance first, then
// lower old position, then lower new (within one sum of weights).
struct Candidate {
    std::uint64_t indexDistance = 0;
    std::uint32_t oldPosition = 0;
    std::uint32_t newPosition = 0;

    friend auto operator<=>(const Candidate&, const Candidate&) = default;
};

inline std::uint64_t distance(std::int64_t a, std::int64_t b) {
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

}  // namespace lanternwick::markermatch
