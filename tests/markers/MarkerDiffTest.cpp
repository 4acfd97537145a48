#include "markers/MarkerDiff.h"

#include <gtest/gtest.h>

#include "markers/MarkerTestSupport.h"

namespace lanternwick {
namespace {

using Kind = LightingAction::Kind;
using testing::markerElement;
using testing::markerFile;
using testing::MarkerFields;

LightingMarker marker(std::int64_t index, const MarkerFields& m) {
    return markerFromAttributes(index, {{"MarkerTypeName", m.type},
                                        {"TrackName", m.track},
                                        {"Position", m.position},
                                        {"Label", m.label},
                                        {"Fade", m.fade},
                                        {"FadeOut", m.fadeOut},
                                        {"ManualCueID", m.cue}});
}

std::vector<Kind> kinds(const MarkerDiff& diff) {
    std::vector<Kind> result;
    for (const auto& action : diff.actions) result.push_back(action.kind);
    return result;
}

MarkerFields with(std::string MarkerFields::*field, std::string value) {
    MarkerFields fields;
    fields.*field = std::move(value);
    return fields;
}

TEST(MatchScore, PointsPerAgreeingField) {
    const LightingMarker base = marker(0, {});
    EXPECT_EQ(matchScore(base, base), 193);
    EXPECT_EQ(matchScore(base, marker(1, {})), 190);
    EXPECT_EQ(matchScore(base, marker(0, with(&MarkerFields::cue, "2"))), 148);
    EXPECT_EQ(matchScore(base, marker(0, with(&MarkerFields::label, "Other"))), 163);
    EXPECT_EQ(matchScore(base, marker(0, with(&MarkerFields::position, "10.00001"))), 193);  // within tolerance
    EXPECT_EQ(matchScore(base, marker(0, with(&MarkerFields::position, "10.001"))), 168);
    EXPECT_EQ(matchScore(base, marker(0, with(&MarkerFields::track, "2/ Lights"))), 133);
    EXPECT_EQ(matchScore(base, marker(0, with(&MarkerFields::fade, "x"))), 188);

    // Blank ids and labels earn nothing, even when both sides are blank.
    MarkerFields blank;
    blank.cue = " ";
    blank.label = "";
    EXPECT_EQ(matchScore(marker(0, blank), marker(0, blank)), 118);
    // Both numbers absent counts as the same.
    MarkerFields unparsable;
    unparsable.position = "soon";
    EXPECT_EQ(matchScore(marker(0, unparsable), marker(0, unparsable)), 193);
    // Trimming and canonical equivalence apply to the compared texts.
    EXPECT_EQ(matchScore(marker(0, with(&MarkerFields::label, "Caf\u00E9")),
                         marker(0, with(&MarkerFields::label, " Cafe\u0301\n"))),
              193);
}

TEST(MatchMarkers, ThresholdIsAboveFiftyFour) {
    // cue list, fades and index agree: 53 points, not a match.
    MarkerFields other{"1/ Other", "9", "Else", "99", "2", "", "Memo"};
    EXPECT_EQ(matchScore(marker(0, {}), marker(0, other)), 53);
    auto matching = matchMarkers({marker(0, {})}, {marker(0, other)});
    EXPECT_TRUE(matching.pairs.empty());
    EXPECT_EQ(matching.unmatchedOld, std::vector<std::size_t>{0});
    EXPECT_EQ(matching.unmatchedNew, std::vector<std::size_t>{0});

    // cue id and fades agree, nothing else: 55 points, a match.
    MarkerFields sameCue{"2/ Other", "1", "Else", "99", "2", "", "Memo"};
    EXPECT_EQ(matchScore(marker(0, {}), marker(1, sameCue)), 55);
    matching = matchMarkers({marker(0, {})}, {marker(1, sameCue)});
    EXPECT_EQ(matching.pairs, (std::vector<MarkerPair>{{0, 0}}));
}

TEST(MatchMarkers, TieBreaksAreScoreThenIndexDistanceThenListOrder) {
    // Two identical old markers: the one at the new marker's index wins by 3 points.
    auto matching = matchMarkers({marker(0, {}), marker(1, {})}, {marker(1, {})});
    EXPECT_EQ(matching.pairs, (std::vector<MarkerPair>{{1, 0}}));
    EXPECT_EQ(matching.unmatchedOld, std::vector<std::size_t>{0});

    // Equal scores, smaller index distance wins.
    matching = matchMarkers({marker(0, {}), marker(4, {})}, {marker(3, {})});
    EXPECT_EQ(matching.pairs, (std::vector<MarkerPair>{{1, 0}}));

    // Equal scores and distances: the earlier old marker, then the earlier new one.
    matching = matchMarkers({marker(1, {}), marker(3, {})}, {marker(2, {})});
    EXPECT_EQ(matching.pairs, (std::vector<MarkerPair>{{0, 0}}));
    matching = matchMarkers({marker(2, {})}, {marker(1, {}), marker(3, {})});
    EXPECT_EQ(matching.pairs, (std::vector<MarkerPair>{{0, 0}}));

    // A higher score beats a smaller distance, and pairs come in acceptance order.
    const MarkerFields renamed = with(&MarkerFields::label, "Renamed");
    matching = matchMarkers({marker(0, renamed), marker(5, {})}, {marker(0, {}), marker(6, renamed)});
    EXPECT_EQ(matching.pairs, (std::vector<MarkerPair>{{1, 0}, {0, 1}}));
    EXPECT_EQ(matchMarkers({marker(0, renamed), marker(5, {})}, {marker(0, {}), marker(6, renamed)}),
              matchMarkersAllPairs({marker(0, renamed), marker(5, {})}, {marker(0, {}), marker(6, renamed)}));
}

TEST(DiffMarkers, UnchangedMarkersGiveNoActionButBothCounts) {
    const std::string text = markerFile(markerElement({}) + markerElement(with(&MarkerFields::cue, "2")));
    const MarkerDiff diff = diffMarkers(text, text, LightingChangeEvent::Kind::modified);
    EXPECT_TRUE(diff.actions.empty());
    EXPECT_EQ(diff.oldCount, 2);
    EXPECT_EQ(diff.newCount, 2);
    EXPECT_FALSE(diff.parseIssue.has_value());

    const std::string commented = markerFile("<!-- note -->\n<Extra/>" + markerElement({}) +
                                             markerElement(with(&MarkerFields::cue, "2")));
    EXPECT_TRUE(diffMarkers(text, commented, LightingChangeEvent::Kind::modified).actions.empty());
}

TEST(DiffMarkers, FadeChangeFillsFadeFieldsOnly) {
    const MarkerDiff diff =
        diffParsedMarkers({marker(0, {})}, {marker(0, with(&MarkerFields::fade, "3"))});
    ASSERT_EQ(kinds(diff), std::vector<Kind>{Kind::fadeChanged});
    const LightingAction& a = diff.actions[0];
    EXPECT_EQ(a.summary, "Fade 2 -> 3, FadeOut (empty) -> (empty)");
    EXPECT_EQ(a.details, "Was [List 1, CueID 1, Label \"Intro\", Position 10, TC Offset 0], now [List 1, CueID 1, "
                         "Label \"Intro\", Position 10, TC Offset 0]");
    EXPECT_EQ(a.oldCueList, 1);
    EXPECT_EQ(a.newCueID, "1");
    EXPECT_EQ(a.oldFadeTime, "2");
    EXPECT_EQ(a.newFadeTime, "3");
    EXPECT_EQ(a.oldFadeOutTime, "");  // present even when empty
    EXPECT_FALSE(a.oldLabel.has_value());
    EXPECT_FALSE(a.newPosition.has_value());
    EXPECT_FALSE(a.oldTimeCodeOffsetSeconds.has_value());

    // A fade-out change is reported as a fade change.
    const MarkerDiff fadeOut = diffParsedMarkers({marker(0, {})}, {marker(0, with(&MarkerFields::fadeOut, "1.5"))});
    ASSERT_EQ(kinds(fadeOut), std::vector<Kind>{Kind::fadeChanged});
    EXPECT_EQ(fadeOut.actions[0].summary, "Fade 2 -> 2, FadeOut (empty) -> 1.5");
    // Texts that differ but parse alike still differ as texts.
    EXPECT_EQ(kinds(diffParsedMarkers({marker(0, {})}, {marker(0, with(&MarkerFields::fade, "2.0"))})),
              std::vector<Kind>{Kind::fadeChanged});
}

TEST(DiffMarkers, PositionCountsOnlyParsedValues) {
    // Same parsed value: no position action; only the signature fallback
    // notices that the text changed.
    const MarkerDiff sameValue = diffParsedMarkers({marker(0, {})}, {marker(0, with(&MarkerFields::position, "10.0"))});
    ASSERT_EQ(kinds(sameValue), std::vector<Kind>{Kind::unknown});
    EXPECT_EQ(sameValue.actions[0].summary, "File changed but no known marker pattern matched");
    EXPECT_EQ(kinds(diffParsedMarkers({marker(0, with(&MarkerFields::position, "a"))},
                                      {marker(0, with(&MarkerFields::position, "b"))})),
              std::vector<Kind>{Kind::unknown});
    const MarkerDiff diff =
        diffParsedMarkers({marker(0, {})}, {marker(0, with(&MarkerFields::position, "10.5"))});
    ASSERT_EQ(kinds(diff), std::vector<Kind>{Kind::positionChanged});
    EXPECT_EQ(diff.actions[0].summary, "10 -> 10.5");
    EXPECT_EQ(diff.actions[0].oldPosition, "10");
    EXPECT_EQ(diff.actions[0].newPosition, "10.5");
    EXPECT_EQ(diff.actions[0].newTimeCodeOffsetSeconds, 0.0);
    EXPECT_FALSE(diff.actions[0].newFadeTime.has_value());
}

TEST(DiffMarkers, PairActionsComeInFixedOrderWithTheirTexts) {
    const MarkerFields before{"1/ Lights", "5", "Intro", "10", "2", "1", "Cue"};
    const MarkerFields after{"1/ Lights 00:00:01:00", "6", " Verse ", "10", "2", "1", "Flag"};
    const MarkerDiff diff = diffParsedMarkers({marker(0, before)}, {marker(0, after)});
    ASSERT_EQ(kinds(diff), (std::vector<Kind>{Kind::manualCueIDChanged, Kind::nameChanged, Kind::trackNameChanged,
                                              Kind::unknown}));
    const std::string wasNow =
        "Was [List 1, CueID 5, Label \"Intro\", Position 10, TC Offset 0], now [List 1, CueID 6, Label \"Verse\", "
        "Position 10, TC Offset 00:00:01:00]";
    const LightingAction& cue = diff.actions[0];
    EXPECT_EQ(cue.summary, "5 -> 6");
    EXPECT_EQ(cue.details, wasNow);
    EXPECT_EQ(cue.newLabel, "Verse");
    EXPECT_EQ(cue.oldFadeOutTime, "1");
    EXPECT_EQ(cue.oldPosition, "10");
    EXPECT_EQ(cue.oldTimeCodeOffsetSeconds, 0.0);
    EXPECT_EQ(cue.newTimeCodeOffsetSeconds, 1.0);
    EXPECT_EQ(diff.actions[1].summary, "\"Intro\" -> \"Verse\"");
    EXPECT_FALSE(diff.actions[1].oldFadeTime.has_value());
    EXPECT_EQ(diff.actions[2].summary, "1/ Lights -> 1/ Lights 00:00:01:00");
    EXPECT_EQ(diff.actions[2].details, "CueList 1 -> 1, TimeCodeOffset 0 -> 00:00:01:00 | " + wasNow);
    EXPECT_FALSE(diff.actions[2].oldCueList.has_value());
    EXPECT_EQ(diff.actions[3].summary, "MarkerTypeName changed");
    EXPECT_EQ(diff.actions[3].details, "Cue -> Flag | " + wasNow);
    EXPECT_NE(diff.actions[0].id, diff.actions[1].id);
}

TEST(DiffMarkers, CanonicallyEquivalentLabelsAreNoChange) {
    EXPECT_TRUE(diffParsedMarkers({marker(0, with(&MarkerFields::label, "Caf\u00E9"))},
                                  {marker(0, with(&MarkerFields::label, "Cafe\u0301"))})
                    .actions.empty());
    EXPECT_EQ(kinds(diffParsedMarkers({marker(0, with(&MarkerFields::label, "cafe"))},
                                      {marker(0, with(&MarkerFields::label, "Cafe"))})),
              std::vector<Kind>{Kind::nameChanged});
}

TEST(DiffMarkers, UnmatchedMarkersAreDeletedThenAdded) {
    // Label, cue id, type, track (same list) and every number change: 43 points.
    const MarkerFields changed{"1/ Other", "9", "Else", "99", "7", "3", "Memo"};
    EXPECT_EQ(matchScore(marker(0, {}), marker(0, changed)), 43);
    const MarkerDiff diff = diffParsedMarkers({marker(0, {})}, {marker(0, changed)});
    ASSERT_EQ(kinds(diff), (std::vector<Kind>{Kind::markerDeleted, Kind::markerAdded}));
    const LightingAction& deleted = diff.actions[0];
    EXPECT_EQ(deleted.summary, "List 1, CueID 1, Label \"Intro\", Position 10, TC Offset 0");
    EXPECT_EQ(deleted.details, "Marker removed from file.");
    EXPECT_EQ(deleted.oldCueList, 1);
    EXPECT_EQ(deleted.oldCueID, "1");
    EXPECT_EQ(deleted.oldLabel, "Intro");
    EXPECT_EQ(deleted.oldFadeTime, "2");
    EXPECT_EQ(deleted.oldPosition, "10");
    EXPECT_EQ(deleted.oldTimeCodeOffsetSeconds, 0.0);
    EXPECT_FALSE(deleted.oldFadeOutTime.has_value());
    EXPECT_FALSE(deleted.newCueList.has_value());
    const LightingAction& added = diff.actions[1];
    EXPECT_EQ(added.summary, "List 1, CueID 9, Label \"Else\", Position 99, TC Offset 0");
    EXPECT_EQ(added.details, "Marker added to file.");
    EXPECT_FALSE(added.newCueList.has_value());
    EXPECT_EQ(diff.deletedCueCandidates, (std::vector<CueDeletionCandidate>{{1, "1"}}));
}

TEST(DiffMarkers, ReorderingOfUnchangedMarkersFallsBackToSignatures) {
    const std::string first = markerElement(with(&MarkerFields::cue, "1"));
    const std::string second = markerElement(with(&MarkerFields::cue, "2"));
    const MarkerDiff diff =
        diffMarkers(markerFile(first + second), markerFile(second + first), LightingChangeEvent::Kind::modified);
    ASSERT_EQ(kinds(diff), std::vector<Kind>{Kind::unknown});
    EXPECT_EQ(diff.actions[0].summary, "File changed but no known marker pattern matched");
    EXPECT_EQ(diff.actions[0].details, "Expected patterns: add/delete/manualCueID/fade/position/name/trackName.");
    EXPECT_FALSE(diff.actions[0].oldCueList.has_value());
    EXPECT_EQ(markerSignature(marker(3, {" 1/ Lights ", " 4 ", "a", "1", "2", "", "Cue"})),
              "1|4|a|1|2||1/ Lights|Cue|0");
}

TEST(DiffMarkers, DeletionCandidatesSkipBlankZeroAndStillCarriedCues) {
    const MarkerFields survivor{"2/ Z", "8", "z", "99", "9", "9", "Y"};
    const std::vector<LightingMarker> oldMarkers = {
        marker(0, with(&MarkerFields::cue, "0")),          marker(1, {"1/ Other", " ", "E", "1", "", "", "X"}),
        marker(2, {"1/ A", "7", "a", "20", "", "", "X"}), marker(3, {"1/ B", " 7", "b", "30", "", "", "X"}),
        marker(4, {"2/ C", "8", "c", "40", "", "", "X"}), marker(5, survivor),
    };
    // The survivor pairs with its old self; the other cue-8 marker is removed
    // while the survivor still carries cue 8 on list 2.
    const MarkerDiff diff = diffParsedMarkers(oldMarkers, {marker(5, survivor)});
    EXPECT_EQ(kinds(diff), std::vector<Kind>(5, Kind::markerDeleted));
    EXPECT_EQ(diff.actions[0].oldCueID, "0");
    EXPECT_EQ(diff.deletedCueCandidates, (std::vector<CueDeletionCandidate>{{1, "7"}}));
}

TEST(DiffMarkers, FirstSnapshotAsksForEachMeaningfulCueOnce) {
    const std::string text = markerFile(markerElement(with(&MarkerFields::cue, "5")) +
                                        markerElement(with(&MarkerFields::cue, " 5 ")) +
                                        markerElement(with(&MarkerFields::cue, "0.0")) +
                                        markerElement(with(&MarkerFields::track, "2/ x")));
    for (const auto kind : {LightingChangeEvent::Kind::initial, LightingChangeEvent::Kind::created}) {
        const MarkerDiff diff = diffMarkers(std::nullopt, text, kind);
        EXPECT_TRUE(diff.actions.empty());
        EXPECT_EQ(diff.newCount, 4);
        EXPECT_FALSE(diff.oldCount.has_value());
        EXPECT_EQ(diff.cueLookupRequests, (std::vector<CueLookupRequest>{{1, "5"}, {2, "1"}}));
        EXPECT_TRUE(diff.deletedCueCandidates.empty());
    }
    EXPECT_EQ(diffMarkers(std::nullopt, "<broken", LightingChangeEvent::Kind::initial), MarkerDiff{});
}

TEST(DiffMarkers, UnparsableSnapshotsSkipTheStructuredDiff) {
    const std::string good = markerFile(markerElement({}));
    EXPECT_EQ(diffMarkers(std::nullopt, good, LightingChangeEvent::Kind::modified), MarkerDiff{});

    const MarkerDiff oldBroken = diffMarkers(std::string("<Tempolane>"), good, LightingChangeEvent::Kind::modified);
    ASSERT_EQ(kinds(oldBroken), std::vector<Kind>{Kind::unknown});
    EXPECT_EQ(oldBroken.actions[0].summary, "Unable to parse previous XML snapshot");
    EXPECT_EQ(oldBroken.actions[0].details, "Structured marker diff was skipped.");
    EXPECT_EQ(oldBroken.parseIssue, "Previous snapshot XML parsing failed.");
    EXPECT_FALSE(oldBroken.oldCount.has_value());
    EXPECT_FALSE(oldBroken.newCount.has_value());
    EXPECT_TRUE(oldBroken.deletedCueCandidates.empty());

    const MarkerDiff newBroken = diffMarkers(good, "<Tempolane>", LightingChangeEvent::Kind::modified);
    ASSERT_EQ(kinds(newBroken), std::vector<Kind>{Kind::unknown});
    EXPECT_EQ(newBroken.actions[0].summary, "Unable to parse new XML content");
    EXPECT_EQ(newBroken.parseIssue, "Current file XML parsing failed.");
    EXPECT_EQ(newBroken.oldCount, 1);
    EXPECT_FALSE(newBroken.newCount.has_value());
    EXPECT_TRUE(newBroken.deletedCueCandidates.empty());
}

}  // namespace
}  // namespace lanternwick
