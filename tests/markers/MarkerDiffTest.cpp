#include "markers/MarkerDiff.h"

#include <gtest/gtest.h>

#include "common/MarkerFileText.h"

namespace lanternwick {
namespace {

using Kind = LightingAction::Kind;
using EventKind = LightingChangeEvent::Kind;

struct Fields {
    std::string track = "1/ Lights", cue = "1", label = "Intro", position = "10", fade = "2", fadeOut, type = "Cue";
};

LightingMarker marker(std::int64_t index, const Fields& m = {}) {
    return markerFromAttributes(index, {{"MarkerTypeName", m.type}, {"TrackName", m.track}, {"Position", m.position},
                                        {"Label", m.label}, {"Fade", m.fade}, {"FadeOut", m.fadeOut},
                                        {"ManualCueID", m.cue}});
}

Fields with(std::string Fields::*field, std::string value) {
    Fields fields;
    fields.*field = std::move(value);
    return fields;
}

std::vector<Kind> kinds(const MarkerDiff& diff) {
    std::vector<Kind> result;
    for (const auto& action : diff.actions) result.push_back(action.kind);
    return result;
}

TEST(MatchScore, PointsPerAgreeingField) {
    const Fields blank{.cue = " ", .label = ""};
    const Fields sameList{"1/ Other", "9", "Else", "99", "2", "", "Memo"};
    const Fields sameCue{"2/ Other", "1", "Else", "99", "2", "", "Memo"};
    const struct Case { Fields old, now; std::int64_t newIndex, score; } cases[] = {
        {{}, {}, 0, 193},
        {{}, {}, 1, 190},
        {{}, with(&Fields::cue, "2"), 0, 148},
        {{}, with(&Fields::label, "Other"), 0, 163},
        {{}, with(&Fields::position, "10.00001"), 0, 193},  // within the tolerance
        {{}, with(&Fields::position, "10.001"), 0, 168},
        {{}, with(&Fields::track, "2/ Lights"), 0, 133},
        {{}, with(&Fields::fade, "x"), 0, 188},
        {blank, blank, 0, 118},  // blank ids and labels earn nothing, even on both sides
        {with(&Fields::position, "soon"), with(&Fields::position, "soon"), 0, 193},  // both absent is the same
        {with(&Fields::label, "Caf\u00E9"), with(&Fields::label, " Cafe\u0301\n"), 0, 193},
        {{}, sameList, 0, 53},
        {{}, sameCue, 1, 55},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(matchScore(marker(0, c.old), marker(c.newIndex, c.now)), c.score) << c.score;
    }
    // A match needs more than 54.
    EXPECT_TRUE(matchMarkers({marker(0)}, {marker(0, sameList)}).pairs.empty());
    EXPECT_EQ(matchMarkers({marker(0)}, {marker(1, sameCue)}).pairs, (std::vector<MarkerPair>{{0, 0}}));
}

TEST(MatchMarkers, TieBreaksAreScoreThenIndexDistanceThenListOrder) {
    const Fields renamed = with(&Fields::label, "Renamed");
    const struct Case { std::vector<LightingMarker> old, now; MarkerMatching matching; } cases[] = {
        {{marker(0), marker(1)}, {marker(1)}, {{{1, 0}}, {0}, {}}},  // an equal index earns 3 points
        {{marker(0), marker(4)}, {marker(3)}, {{{1, 0}}, {0}, {}}},
        {{marker(1), marker(3)}, {marker(2)}, {{{0, 0}}, {1}, {}}},
        {{marker(2)}, {marker(1), marker(3)}, {{{0, 0}}, {}, {1}}},
        // A higher score beats a smaller distance; pairs come in acceptance order.
        {{marker(0, renamed), marker(5)}, {marker(0), marker(6, renamed)}, {{{1, 0}, {0, 1}}, {}, {}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(matchMarkers(c.old, c.now), c.matching);
        EXPECT_EQ(matchMarkersAllPairs(c.old, c.now), c.matching);
    }
}

TEST(DiffMarkers, OnePairGivesTheseActions) {
    const std::string fallback = "File changed but no known marker pattern matched";
    const struct Case { Fields before, after; std::vector<Kind> kinds; std::string summary; } cases[] = {
        {{}, with(&Fields::fade, "3"), {Kind::fadeChanged}, "Fade 2 -> 3, FadeOut (empty) -> (empty)"},
        {{}, with(&Fields::fadeOut, "1.5"), {Kind::fadeChanged}, "Fade 2 -> 2, FadeOut (empty) -> 1.5"},
        {{}, with(&Fields::fade, "2.0"), {Kind::fadeChanged}, "Fade 2 -> 2.0, FadeOut (empty) -> (empty)"},
        {{}, with(&Fields::position, "10.5"), {Kind::positionChanged}, "10 -> 10.5"},
        // The same position in another text is left to the signature fallback.
        {{}, with(&Fields::position, "10.0"), {Kind::unknown}, fallback},
        {with(&Fields::position, "a"), with(&Fields::position, "b"), {Kind::unknown}, fallback},
        {with(&Fields::label, "cafe"), with(&Fields::label, "Cafe"), {Kind::nameChanged}, "\"cafe\" -> \"Cafe\""},
        {with(&Fields::label, "Caf\u00E9"), with(&Fields::label, "Cafe\u0301"), {}, ""},
        // Label, cue id, type, track (same list) and every number change: 43 points.
        {{}, {"1/ Other", "9", "Else", "99", "7", "3", "Memo"}, {Kind::markerDeleted, Kind::markerAdded},
         "List 1, CueID 1, Label \"Intro\", Position 10, TC Offset 0"},
    };
    for (const Case& c : cases) {
        const MarkerDiff diff = diffParsedMarkers({marker(0, c.before)}, {marker(0, c.after)});
        EXPECT_EQ(kinds(diff), c.kinds) << c.summary;
        EXPECT_EQ(diff.actions.empty() ? "" : diff.actions[0].summary, c.summary);
    }
}

TEST(DiffMarkers, ActionTextsInTheirFixedOrder) {
    MarkerDiff diff = diffParsedMarkers({marker(0, {"1/ Lights", "5", "Intro", "10", "2", "1", "Cue"})},
                                        {marker(0, {"1/ Lights 00:00:01:00", "6", " Verse ", "10", "3", "1", "Flag"})});
    ASSERT_EQ(kinds(diff), (std::vector<Kind>{Kind::manualCueIDChanged, Kind::fadeChanged, Kind::nameChanged,
                                              Kind::trackNameChanged, Kind::unknown}));
    const std::string wasNow =
        "Was [List 1, CueID 5, Label \"Intro\", Position 10, TC Offset 0], now [List 1, CueID 6, Label \"Verse\", "
        "Position 10, TC Offset 00:00:01:00]";
    EXPECT_EQ(diff.actions[0].summary, "5 -> 6");
    EXPECT_EQ(diff.actions[0].details, wasNow);
    EXPECT_EQ(diff.actions[1].details, wasNow);
    EXPECT_EQ(diff.actions[2].summary, "\"Intro\" -> \"Verse\"");
    EXPECT_EQ(diff.actions[3].summary, "1/ Lights -> 1/ Lights 00:00:01:00");
    EXPECT_EQ(diff.actions[3].details, "CueList 1 -> 1, TimeCodeOffset 0 -> 00:00:01:00 | " + wasNow);
    EXPECT_EQ(diff.actions[4].summary, "MarkerTypeName changed");
    EXPECT_EQ(diff.actions[4].details, "Cue -> Flag | " + wasNow);
    EXPECT_NE(diff.actions[0].id, diff.actions[1].id);

    diff = diffParsedMarkers({marker(0)}, {marker(0, {"1/ Other", "9", "Else", "99", "7", "3", "Memo"})});
    ASSERT_EQ(diff.actions.size(), 2U);
    EXPECT_EQ(diff.actions[0].details, "Marker removed from file.");
    EXPECT_EQ(diff.actions[1].summary, "List 1, CueID 9, Label \"Else\", Position 99, TC Offset 0");
    EXPECT_EQ(diff.actions[1].details, "Marker added to file.");
    EXPECT_EQ(diff.deletedCueCandidates, (std::vector<CueDeletionCandidate>{{1, "1"}}));
}

TEST(DiffMarkers, ReorderingOfUnchangedMarkersFallsBackToSignatures) {
    const auto first = testing::MarkerFields{.cue = "1"};
    const auto second = testing::MarkerFields{.cue = "2"};
    const MarkerDiff diff =
        diffMarkers(testing::markerFileText({first, second}), testing::markerFileText({second, first}), EventKind::modified);
    ASSERT_EQ(kinds(diff), std::vector<Kind>{Kind::unknown});
    EXPECT_EQ(diff.actions[0].summary, "File changed but no known marker pattern matched");
    EXPECT_EQ(diff.actions[0].details, "Expected patterns: add/delete/manualCueID/fade/position/name/trackName.");
    EXPECT_EQ(markerSignature(marker(3, {" 1/ Lights ", " 4 ", "a", "1", "2", "", "Cue"})),
              "1|4|a|1|2||1/ Lights|Cue|0");
}

TEST(DiffMarkers, DeletionCandidatesSkipBlankZeroAndStillCarriedCues) {
    const Fields survivor{"2/ Z", "8", "z", "99", "9", "9", "Y"};
    const std::vector<LightingMarker> oldMarkers = {
        marker(0, with(&Fields::cue, "0")),          marker(1, {"1/ Other", " ", "E", "1", "", "", "X"}),
        marker(2, {"1/ A", "7", "a", "20", "", "", "X"}), marker(3, {"1/ B", " 7", "b", "30", "", "", "X"}),
        marker(4, {"2/ C", "8", "c", "40", "", "", "X"}), marker(5, survivor),
    };
    // The survivor pairs with its old self; the other cue-8 marker is removed
    // while the survivor still carries cue 8 on list 2.
    const MarkerDiff diff = diffParsedMarkers(oldMarkers, {marker(5, survivor)});
    EXPECT_EQ(kinds(diff), std::vector<Kind>(5, Kind::markerDeleted));
    EXPECT_EQ(diff.deletedCueCandidates, (std::vector<CueDeletionCandidate>{{1, "7"}}));
}

TEST(DiffMarkers, FirstSnapshotAsksForEachMeaningfulCueOnce) {
    const std::string text = testing::markerFileText(
        {{.cue = "5"}, {.cue = " 5 "}, {.cue = "0.0"}, {.cue = ""}, {.cue = "1", .track = "Lights 2/ x"}});
    for (const auto kind : {EventKind::initial, EventKind::created}) {
        EXPECT_EQ(diffMarkers(std::nullopt, text, kind), (MarkerDiff{{}, {}, 5, {}, {{1, "5"}, {2, "1"}}, {}}));
    }
    EXPECT_EQ(diffMarkers(std::nullopt, "<broken", EventKind::initial), MarkerDiff{});
    EXPECT_EQ(diffMarkers(std::nullopt, text, EventKind::modified), MarkerDiff{});
}

TEST(DiffMarkers, UnparsableSnapshotsSkipTheStructuredDiff) {
    const std::string good = testing::markerFileText({{.cue = "1"}});
    const MarkerDiff oldBroken = diffMarkers(std::string("<Tempolane>"), good, EventKind::modified);
    ASSERT_EQ(kinds(oldBroken), std::vector<Kind>{Kind::unknown});
    EXPECT_EQ(oldBroken.actions[0].summary, "Unable to parse previous XML snapshot");
    EXPECT_EQ(oldBroken.actions[0].details, "Structured marker diff was skipped.");
    EXPECT_EQ(oldBroken.parseIssue, "Previous snapshot XML parsing failed.");
    EXPECT_FALSE(oldBroken.oldCount.has_value() || oldBroken.newCount.has_value());

    const MarkerDiff newBroken = diffMarkers(good, "<Tempolane>", EventKind::modified);
    ASSERT_EQ(kinds(newBroken), std::vector<Kind>{Kind::unknown});
    EXPECT_EQ(newBroken.actions[0].summary, "Unable to parse new XML content");
    EXPECT_EQ(newBroken.parseIssue, "Current file XML parsing failed.");
    EXPECT_EQ(newBroken.oldCount, 1);
    EXPECT_FALSE(newBroken.newCount.has_value());
    EXPECT_TRUE(newBroken.deletedCueCandidates.empty());
}

}  // namespace
}  // namespace lanternwick
