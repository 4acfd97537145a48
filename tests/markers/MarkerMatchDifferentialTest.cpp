#include <algorithm>
#include <array>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "markers/FastMarkerMatch.h"
#include "markers/MarkerDiff.h"
#include "common/MarkerFileText.h"

namespace lanternwick {
namespace {

using Random = std::mt19937_64;

// Small pools, so that random markers collide often: equal after trimming,
// equal only under canonical equivalence (even to plain ASCII), blank, and numbers on either side
// of the tolerance.
const std::array<std::string, 5> typeNames{"Cue", " Cue", "Cue\t", "Scene", ""};
const std::array<std::string, 4> trackNames{"1/ Lights", "1/ Lights ", "2/ Lights", ""};
const std::array<std::string, 10> cueIDs{"", " ", "1", " 1", "2", "0", "A1", "Caf\u00E9", "Cafe\u0301", "10"};
// The Kelvin sign is canonically the letter K.
const std::array<std::string, 9> labels{"",           "Intro", "Intro ", "Outro", "Caf\u00E9",
                                        "Cafe\u0301", "\u2028", "K",      "\u212A"};
// 0.0 and 0.0001 are exactly the tolerance apart in binary as well, so the
// edge of "the same" is reached.
const std::array<std::optional<double>, 11> positions{
    std::nullopt, 10.0, 10.00005, 10.0001, 10.00015, 10.0002, 10.5, 0.0, -0.0, 0.0001,
    std::numeric_limits<double>::infinity()};
const std::array<std::optional<double>, 4> fades{std::nullopt, 2.0, 2.00005, 3.0};

template <typename Pool>
const auto& pick(const Pool& pool, Random& random) {
    return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random)];
}

bool chance(Random& random, double probability) { return std::bernoulli_distribution(probability)(random); }

LightingMarker randomMarker(Random& random, std::int64_t index) {
    LightingMarker m;
    m.index = index;
    m.cueList = chance(random, 0.05) ? std::nullopt : std::optional<std::int64_t>(1 + random() % 2);
    m.markerTypeName = pick(typeNames, random);
    m.trackName = pick(trackNames, random);
    m.manualCueID = pick(cueIDs, random);
    m.label = pick(labels, random);
    m.position = pick(positions, random);
    m.fade = pick(fades, random);
    m.fadeOut = pick(fades, random);
    return m;
}

// Changes one compared field, or the index, of a marker.
void editMarker(LightingMarker& m, Random& random) {
    switch (random() % 8) {
        case 0: m.cueList = 1 + static_cast<std::int64_t>(random() % 3); break;
        case 1: m.markerTypeName = pick(typeNames, random); break;
        case 2: m.trackName = pick(trackNames, random); break;
        case 3: m.manualCueID = pick(cueIDs, random); break;
        case 4: m.label = pick(labels, random); break;
        case 5: m.position = pick(positions, random); break;
        case 6: m.fade = pick(fades, random); break;
        default: m.fadeOut = pick(fades, random); break;
    }
}

// Either the file's own numbering (ascending with gaps, as dropped markers
// leave) or a few random values that repeat, which makes index distances tie.
void renumber(std::vector<LightingMarker>& markers, Random& random) {
    const bool ascending = chance(random, 0.5);
    std::int64_t index = 0;
    for (LightingMarker& m : markers) {
        m.index = ascending ? (index += chance(random, 0.1) ? 2 : 1) : static_cast<std::int64_t>(random() % 6);
    }
}

// What an editor does to a list between two saves: edits, insertions,
// removals, a moved block.
std::vector<LightingMarker> editedCopy(std::vector<LightingMarker> markers, Random& random) {
    for (std::size_t operations = random() % 6; operations > 0; --operations) {
        const std::size_t at = markers.empty() ? 0 : random() % markers.size();
        const auto where = markers.begin() + static_cast<std::ptrdiff_t>(at);
        const std::size_t choice = random() % 4;
        if (choice == 0 && !markers.empty()) editMarker(markers[at], random);
        if (choice == 1) markers.insert(where, randomMarker(random, 0));
        if (choice == 2 && !markers.empty()) markers.erase(where);
        if (choice == 3) std::shuffle(where, where + std::min<std::ptrdiff_t>(markers.end() - where, 1 + random() % 8), random);
    }
    if (chance(random, 0.7)) renumber(markers, random);
    return markers;
}

std::vector<LightingMarker> randomList(Random& random, std::size_t size) {
    std::vector<LightingMarker> markers;
    for (std::size_t k = 0; k < size; ++k) markers.push_back(randomMarker(random, static_cast<std::int64_t>(k)));
    if (chance(random, 0.5)) renumber(markers, random);
    return markers;
}

struct Totals { std::size_t pairs = 0, unmatched = 0; };

void expectSameMatching(const std::vector<LightingMarker>& oldMarkers, const std::vector<LightingMarker>& newMarkers,
                        Totals& totals) {
    const MarkerMatching reference = matchMarkersAllPairs(oldMarkers, newMarkers);
    const MarkerMatching fast = matchMarkersFast(oldMarkers, newMarkers);
    ASSERT_EQ(fast.pairs, reference.pairs);
    ASSERT_EQ(fast.unmatchedOld, reference.unmatchedOld);
    ASSERT_EQ(fast.unmatchedNew, reference.unmatchedNew);
    totals.pairs += reference.pairs.size();
    totals.unmatched += reference.unmatchedOld.size() + reference.unmatchedNew.size();
}

TEST(MarkerMatchDifferential, SmallAndMediumListsFromCollidingPools) {
    Random random(20261207);
    Totals totals;
    for (int run = 0; run < 4000 && !HasFatalFailure(); ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const std::size_t size = run % 40 == 0 ? 20 + random() % 80 : random() % 11;
        const std::vector<LightingMarker> oldMarkers = randomList(random, size);
        const std::vector<LightingMarker> newMarkers =
            chance(random, 0.5) ? editedCopy(oldMarkers, random) : randomList(random, random() % 11);
        expectSameMatching(oldMarkers, newMarkers, totals);
    }
    // Both outcomes must actually have been exercised.
    EXPECT_GT(totals.pairs, 4000U);
    EXPECT_GT(totals.unmatched, 1000U);
}

// Markers that mostly share no cue id, label or position, so that the pairs
// are decided by list, type, track, fades and index distance alone.
TEST(MarkerMatchDifferential, LeftoversDecidedByIndexDistance) {
    Random random(424242);
    Totals totals;
    const auto unjoinable = [&](const std::string& side, std::size_t size) {
        std::vector<LightingMarker> markers = randomList(random, size);
        for (std::size_t k = 0; k < markers.size(); ++k) {
            LightingMarker& m = markers[k];
            if (chance(random, 0.15)) continue;
            m.manualCueID = m.label = side + std::to_string(k);
            m.position = (side == "old" ? 100.0 : 200.0) + static_cast<double>(k);
            // Mostly one profile, so that equally distant partners compete.
            if (chance(random, 0.8)) std::tie(m.cueList, m.markerTypeName, m.trackName, m.fade, m.fadeOut) =
                std::tuple(1, "Cue", "1/ Lights", 2.0, std::nullopt);
        }
        for (LightingMarker& m : markers) m.index = static_cast<std::int64_t>(random() % 9);
        return markers;
    };
    for (int run = 0; run < 3000 && !HasFatalFailure(); ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        expectSameMatching(unjoinable("old", random() % 12), unjoinable("new", random() % 12), totals);
    }
    EXPECT_GT(totals.pairs, 3000U);
}

// A long show of one list, track and type, numbered as the parser numbers it.
LightingMarker showMarker(std::size_t k) {
    LightingMarker m;
    m.index = static_cast<std::int64_t>(k);
    m.cueList = 1;
    m.markerTypeName = "Cue";
    m.trackName = "1/ Lights";
    m.manualCueID = std::to_string(k + 1);
    m.label = "Look " + std::to_string(k + 1);
    m.position = 10.0 + 2.5 * static_cast<double>(k);
    m.fade = 2.0;
    return m;
}

// Shows where many markers share values, under which pairing markers by a
// shared value would pair every old marker with every new one.
struct Shape {
    std::string name;
    void (*apply)(LightingMarker&, std::size_t k);
};

void PrintTo(const Shape& shape, std::ostream* out) { *out << shape.name; }

const std::array<Shape, 6> shapes{{
    {"distinct", [](LightingMarker&, std::size_t) {}},
    {"sameLabel", [](LightingMarker& m, std::size_t) { m.label = "Go"; }},
    {"sameCueID", [](LightingMarker& m, std::size_t) { m.manualCueID = "1"; }},
    {"samePosition", [](LightingMarker& m, std::size_t) { m.position = 10.0; }},
    {"identical",
     [](LightingMarker& m, std::size_t) {
         std::tie(m.manualCueID, m.label, m.position) = std::tuple("1", "Go", 10.0);
     }},
    {"fewGroups",
     [](LightingMarker& m, std::size_t k) {
         m.manualCueID = std::to_string(k % 4 + 1);
         m.label = "Song " + m.manualCueID;
         m.position = static_cast<double>(k % 4);
     }},
}};

LightingMarker shapedMarker(const Shape& shape, std::size_t k) {
    LightingMarker m = showMarker(k);
    shape.apply(m, k);
    return m;
}

std::vector<LightingMarker> shapedShow(const Shape& shape, std::size_t size) {
    std::vector<LightingMarker> show;
    for (std::size_t k = 0; k < size; ++k) show.push_back(shapedMarker(shape, k));
    return show;
}

std::vector<LightingMarker> numberedInOrder(std::vector<LightingMarker> markers) {
    for (std::size_t k = 0; k < markers.size(); ++k) markers[k].index = static_cast<std::int64_t>(k);
    return markers;
}

// One fade edited, one marker removed, a block moved and one inserted at the top.
std::vector<LightingMarker> typicalEdits(std::vector<LightingMarker> markers, const Shape& inserted) {
    const auto at = [&](std::size_t fraction) {
        return markers.begin() + static_cast<std::ptrdiff_t>(markers.size() / fraction);
    };
    at(2)->fade = 3.0;
    markers.erase(at(3));
    std::rotate(at(4), at(4) + 20, at(4) + 50);
    markers.insert(markers.begin(), shapedMarker(inserted, markers.size()));
    return numberedInOrder(std::move(markers));
}

std::vector<LightingMarker> everyMarkerChanged(std::vector<LightingMarker> markers) {
    for (LightingMarker& m : markers) {
        m.position = *m.position + 0.5;
        m.fade = 3.0;
    }
    return markers;
}

class MarkerMatchShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(MarkerMatchShapes, TypicalEditsAndEveryMarkerChanged) {
    const std::vector<LightingMarker> show = shapedShow(GetParam(), 2000);
    Totals totals;
    expectSameMatching(show, typicalEdits(show, GetParam()), totals);
    expectSameMatching(show, everyMarkerChanged(show), totals);
    EXPECT_GT(totals.pairs, 3900U);
}

INSTANTIATE_TEST_SUITE_P(Shows, MarkerMatchShapes, ::testing::ValuesIn(shapes),
                         [](const auto& info) { return info.param.name; });

// A fade that overflows to infinity once made a file differ from itself.
TEST(MarkerDiff, EqualTextsWithAnOverflowingFadeReportNothing) {
    const std::string text = testing::markerFileText({{.cue = "1", .position = "1e999", .fade = "1e999"}});
    EXPECT_TRUE(diffMarkers(text, text, LightingChangeEvent::Kind::modified).actions.empty());
}

}  // namespace
}  // namespace lanternwick
