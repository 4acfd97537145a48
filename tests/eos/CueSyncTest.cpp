#include "eos/CueSync.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "common/MarkerFileText.h"
#include "common/RecordingEosLink.h"
#include "common/ScriptedDeletionPrompt.h"
#include "eos/CueDeletionPrompt.h"

namespace lanternwick {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using A = LightingAction;
using Kind = LightingAction::Kind;
using Policy = CueDeletionPromptPolicy;

A cueIDChanged(std::int64_t list, std::string cue) {
    return {.kind = Kind::manualCueIDChanged, .newCueList = list, .newCueID = std::move(cue)};
}

std::vector<std::string> commands(std::vector<std::string> lines) {
    for (auto& line : lines) line = "cmd " + line;
    return lines;
}

class CueSync : public ::testing::Test {
protected:
    std::vector<std::string> apply(const MarkerDiff& diff, bool initial = false) {
        link.sent.clear();
        applyDiffToEos(initial, diff, link, context);
        return link.sent;
    }

    bool updateOnConnect = false;
    bool syncLabels = false;
    bool deleteCues = false;
    Policy policy = Policy::askEveryTime;
    std::shared_ptr<testing::ScriptedDeletionPrompt> prompt = std::make_shared<testing::ScriptedDeletionPrompt>();
    CueSyncContext context{.optUpdateOnConnect = [this] { return updateOnConnect; },
                           .optSyncLabels = [this] { return syncLabels; },
                           .optDeleteCues = [this] { return deleteCues; },
                           .policy = {.read = [this] { return policy; }, .write = [this](Policy p) { policy = p; }},
                           .prompt = prompt};
    testing::RecordingEosLink link;
};

TEST_F(CueSync, ActionsBecomeTheirCommandLines) {
    const A cueID{.kind = Kind::manualCueIDChanged, .newCueList = 2, .newCueID = "7", .newLabel = "Intro",
                  .newFadeTime = "2", .newFadeOutTime = "3", .newPosition = "1.5", .newTimeCodeOffsetSeconds = 3610.5};
    const A fade12{.kind = Kind::fadeChanged, .newCueList = 1, .newCueID = "12", .newFadeTime = "3"};
    A fade12Before = fade12;
    fade12Before.newFadeTime = "9";
    A fade12OtherList = fade12;
    fade12OtherList.newCueList = 2;
    const A rename{.kind = Kind::nameChanged, .newCueList = 1, .newCueID = "9", .newLabel = "Verse"};
    const A rename12{.kind = Kind::nameChanged, .newCueList = 1, .newCueID = "12", .newLabel = "X"};
    struct Case {
        const char* name;
        bool syncLabels;
        std::vector<A> actions;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"a new cue id: enter, time and timecode", false, {cueID},
         {"$ Cue 2 / 7 Enter #", "$ Cue 2 / 7 Time 2 / 3 #", "$ Cue 2 / 7 Timecode 01:00:12:00 #"}},
        {"a new cue id with labels synced", true, {cueID},
         {"$ Cue 2 / 7 Enter #", "$ Cue 2 / 7 Label Intro #", "$ Cue 2 / 7 Time 2 / 3 #",
          "$ Cue 2 / 7 Timecode 01:00:12:00 #"}},
        {"zero, blank, incomplete or hostile cues and values", true,
         {cueIDChanged(1, "0.00"), cueIDChanged(1, "  "), {.kind = Kind::manualCueIDChanged, .newCueID = "4"},
          {.kind = Kind::manualCueIDChanged, .newCueList = 1},
          {.kind = Kind::manualCueIDChanged, .newCueList = 1, .newCueID = "5# $ Delete Cue 1 / 1 Enter", .newLabel = "x"},
          // The console takes "Enter" as the end of a command just as it takes "#".
          {.kind = Kind::manualCueIDChanged, .newCueList = 1, .newCueID = "5 Enter Delete Cue 1 / 7", .newLabel = "x"},
          {.kind = Kind::fadeChanged, .newCueList = 1, .newCueID = "7", .newFadeTime = "2 Enter Delete Cue 1 / 7"},
          {.kind = Kind::trackNameChanged, .newCueList = 1, .newCueID = "3"}},
         {}},
        // The old position is not compared: an unchanged one is sent again.
        {"a fade only when its text changed, a position always, a label only when synced", false,
         {{.kind = Kind::fadeChanged, .newCueList = 1, .newCueID = "5", .oldFadeTime = "2", .newFadeTime = "2"},
          {.kind = Kind::fadeChanged, .newCueList = 1, .newCueID = "7", .oldFadeTime = "2", .newFadeTime = "2",
           .newFadeOutTime = "x"},
          {.kind = Kind::fadeChanged, .newCueList = 1, .newCueID = "8", .oldFadeTime = "2", .newFadeTime = ""},
          {.kind = Kind::positionChanged, .newCueList = 1, .newCueID = "4", .oldPosition = "75.5", .newPosition = "75.5"},
          {.kind = Kind::positionChanged, .newCueList = 1, .newCueID = "6", .newPosition = "-1"}, rename},
         {"$ Cue 1 / 4 Timecode 00:01:15:15 #"}},
        {"a label with labels synced", true, {rename}, {"$ Cue 1 / 9 Label Verse #"}},
        {"a processed cue suppresses later actions for that cue only", true,
         {fade12Before, cueIDChanged(1, "12"), fade12, rename12, fade12OtherList},
         {"$ Cue 1 / 12 Time 9 #", "$ Cue 1 / 12 Enter #", "$ Cue 2 / 12 Time 3 #"}},
        {"processed cues do not outlive one call", true, {fade12}, {"$ Cue 1 / 12 Time 3 #"}},
        {"a zero cue is not recorded as processed", true,
         {cueIDChanged(1, "0"), {.kind = Kind::fadeChanged, .newCueList = 1, .newCueID = "0", .newFadeTime = "1"}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        syncLabels = c.syncLabels;
        EXPECT_EQ(apply({.actions = c.actions}), commands(c.lines));
    }
}

TEST_F(CueSync, EveryCommandNotComposedIsReportedWithItsReason) {
    std::vector<SkippedCommand> skipped;
    context.skipped = [&](SkippedCommand s) { skipped.push_back(std::move(s)); };
    deleteCues = true;
    prompt->answers = {{false, false}, {false, false, "no terminal to ask"}};
    MarkerDiff diff;
    diff.actions = {
        cueIDChanged(1, "0"),
        cueIDChanged(1, "7½"),
        cueIDChanged(1, "  "),
        {.kind = Kind::nameChanged, .newCueList = 1, .newCueID = "4", .newLabel = "X"},
        {.kind = Kind::fadeChanged, .newCueList = 1, .newCueID = "5", .newFadeTime = "slow"},
        {.kind = Kind::fadeChanged, .newCueList = 1, .newCueID = "6", .newFadeTime = "2", .newFadeOutTime = "Label"},
        {.kind = Kind::positionChanged, .newCueList = 1, .newCueID = "8", .newPosition = "intro"},
    };
    diff.deletedCueCandidates = {{2, "1"}, {2, "2"}, {2, "x"}};
    EXPECT_THAT(apply(diff), ElementsAre("cmd $ Cue 1 / 6 Time 2 #"));
    const std::vector<SkippedCommand> expected = {
        {1, "0", "enter", "cue id is 0"},
        {1, "7½", "enter", "cue id is not a console cue number"},
        {1, "4", "label", "label sync is off"},
        {1, "5", "time", "fade is not a console time"},
        {1, "6", "fade-out", "fade-out is not a console time; the fade goes alone"},
        {1, "8", "timecode", "position is not a time in seconds"},
        {2, "1", "delete", "deletion declined"},
        {2, "2", "delete", "no terminal to ask"},
        {2, "x", "delete", "cue id is not a console cue number"},
    };
    EXPECT_EQ(skipped, expected);
    skipped.clear();
    deleteCues = false;
    apply({.deletedCueCandidates = {{2, "1"}}});
    EXPECT_EQ(skipped, (std::vector<SkippedCommand>{{2, "1", "delete", "cue deletion is off"}}));
}

TEST_F(CueSync, QueriesOnlyForTheFirstSnapshotThenActionsThenDeletions) {
    MarkerDiff diff;
    diff.cueLookupRequests = {{1, "12"}, {2, " "}, {2, " 7 "}, {3, "4#"}};
    diff.actions = {cueIDChanged(1, "2")};
    diff.deletedCueCandidates = {{1, "3"}};
    EXPECT_THAT(apply(diff, true), ElementsAre("cmd $ Cue 1 / 2 Enter #"));
    updateOnConnect = true;
    deleteCues = true;
    policy = Policy::autoYes;
    EXPECT_THAT(apply(diff, false), ElementsAre("cmd $ Cue 1 / 2 Enter #", "cmd $ Delete Cue 1 / 3 Enter #"));
    EXPECT_THAT(apply(diff, true), ElementsAre("/eos/get/cue/1/12", "/eos/get/cue/2/7", "cmd $ Cue 1 / 2 Enter #",
                                               "cmd $ Delete Cue 1 / 3 Enter #"));
}

TEST_F(CueSync, DeletionsAskAndFollowThePolicy) {
    MarkerDiff diff;
    diff.deletedCueCandidates = {{3, "12.5"}, {3, "  "}, {3, "13"}, {4, "1"}};
    EXPECT_THAT(apply(diff), IsEmpty());
    EXPECT_THAT(prompt->questions, IsEmpty());

    // Nobody is asked about a cue the console could not be told to delete.
    deleteCues = true;
    prompt->answers = {{false, false}, {true, true}};
    EXPECT_THAT(apply(diff), ElementsAre("cmd $ Delete Cue 3 / 13 Enter #", "cmd $ Delete Cue 4 / 1 Enter #"));
    EXPECT_THAT(prompt->questions, ElementsAre("Delete Cue 3/12.5 from Eos?", "Delete Cue 3/13 from Eos?"));
    EXPECT_EQ(policy, Policy::autoYes);

    // The policy outlives the call and survives the option being off.
    deleteCues = false;
    EXPECT_THAT(apply(diff), IsEmpty());
    deleteCues = true;
    EXPECT_THAT(apply(diff), SizeIs(3));
    EXPECT_EQ(prompt->questions.size(), 2U);

    policy = Policy::askEveryTime;
    prompt->answers = {{false, true}};
    EXPECT_THAT(apply(diff), IsEmpty());
    EXPECT_EQ(policy, Policy::autoNo);
    EXPECT_THAT(apply(diff), IsEmpty());
    EXPECT_EQ(prompt->questions.size(), 3U);

    // Without a prompt only "yes to all" deletes; asking is never assumed to say yes.
    context.prompt.reset();
    policy = Policy::askEveryTime;
    EXPECT_THAT(apply(diff), IsEmpty());
    policy = Policy::autoYes;
    EXPECT_THAT(apply(diff), SizeIs(3));
}

TEST_F(CueSync, PolicyChangedWhileTheQuestionIsOpenWinsOverTheCheckbox) {
    deleteCues = true;
    prompt->answers = {{true, true}};
    prompt->whileOpen = [this] { policy = Policy::autoNo; };
    // The answer still decides this candidate; only the policy is left alone.
    EXPECT_THAT(apply({.deletedCueCandidates = {{1, "1"}, {1, "2"}}}), ElementsAre("cmd $ Delete Cue 1 / 1 Enter #"));
    EXPECT_EQ(policy, Policy::autoNo);
    EXPECT_EQ(prompt->questions.size(), 1U);
}

// The edit path leaves a shared cue as the update on connect would: with the
// values of the last marker of the file that addresses it.
TEST_F(CueSync, ACueThatLosesOrSharesAMarkerGetsTheValuesOfTheLastMarkerStillOnIt) {
    using testing::MarkerFields;
    const MarkerFields a{.cue = "67", .label = "A", .position = "10", .fade = "7"};
    const MarkerFields b{.cue = "67", .label = "B", .position = "20", .fade = "5"};
    const MarkerFields c{.cue = "67", .label = "C", .position = "30", .fade = "3"};
    const auto with = [](MarkerFields m, std::string cue, std::string label = "") {
        m.cue = std::move(cue);
        if (!label.empty()) m.label = label == "-" ? "" : label;
        return m;
    };
    const std::string lineA = "cmd Cue 1 / 67 Time 7 Timecode 00:00:10:00 Label A #";
    const std::string lineC = "cmd Cue 1 / 67 Time 3 Timecode 00:00:30:00 Label C #";
    struct Case {
        const char* name;
        std::vector<MarkerFields> before, after;
        std::vector<std::string> lines;
        bool resent = true;
        // The lost cue as the marker that left it gave it.
        std::string lost = "67";
    };
    const Case cases[] = {
        {"B deleted from A's cue", {a, b}, {a}, {lineA}},
        {"B renumbered away from A's cue", {a, b}, {a, with(b, "68")},
         {"cmd $ Cue 1 / 68 Enter #", "cmd $ Cue 1 / 68 Label B #", "cmd $ Cue 1 / 68 Time 5 #",
          "cmd $ Cue 1 / 68 Timecode 00:00:20:00 #", lineA}},
        {"A renumbered onto the cue of B, which comes later", {with(a, "66"), b}, {a, b},
         {"cmd $ Cue 1 / 67 Enter #", "cmd $ Cue 1 / 67 Label A #", "cmd $ Cue 1 / 67 Time 7 #",
          "cmd $ Cue 1 / 67 Timecode 00:00:10:00 #", "cmd Cue 1 / 67 Time 5 Timecode 00:00:20:00 Label B #"}},
        {"several remain: the last in the file wins", {a, b, c}, {b, c}, {lineC}},
        {"a sharer that is not the last is edited", {a, b, c}, {a, with(b, "67", "Edit"), c},
         {"cmd $ Cue 1 / 67 Label Edit #", lineC}},
        {"the same cue in another spelling", {a, with(b, "067")}, {a}, {lineA}, true, "067"},
        {"a blank label of the marker that stays is cleared", {with(a, "67", "-"), b}, {with(a, "67", "-")},
         {"cmd Cue 1 / 67 Time 7 Timecode 00:00:10:00 #", "cmd $ Cue 1 / 67 Label  #"}},
        {"a cue nobody else uses is left alone", {a, with(b, "68")}, {with(a, "67", "Edit")},
         {"cmd $ Cue 1 / 67 Label Edit #"}, false},
        {"a cue that lost its last marker is left alone", {a, b}, {}, {}, false},
    };
    syncLabels = true;
    std::vector<SkippedCommand> skipped;
    context.skipped = [&](SkippedCommand s) {
        if (s.what == "update") skipped.push_back(std::move(s));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = parseMarkers(testing::markerFileText(c.before));
        const auto after = parseMarkers(testing::markerFileText(c.after));
        ASSERT_TRUE(before && after);
        context.markersInFile = [&after] { return &*after; };
        skipped.clear();
        EXPECT_EQ(apply(diffParsedMarkers(*before, *after)), c.lines);
        const std::vector<SkippedCommand> reasons = {{1, c.lost, "update", cueStillUsedReason(1, c.lost)}};
        EXPECT_EQ(skipped, c.resent ? reasons : std::vector<SkippedCommand>{});
    }
    // The update on connect gives a shared cue the blank label of its last marker too.
    const auto shared = parseMarkers(testing::markerFileText({a, with(b, "67", "-"), with(c, "68", "-")}));
    EXPECT_THAT(fullCueLinesFor(*shared, true),
                ElementsAre(lineA.substr(4), "Cue 1 / 67 Time 5 Timecode 00:00:20:00 #", "$ Cue 1 / 67 Label  #",
                            "Cue 1 / 68 Time 3 Timecode 00:00:30:00 #"));
    EXPECT_EQ(cueStillUsedReason(2, " 67 "), "cue 2/67 is still used by another marker: its values sent again");
    syncLabels = false;
    const auto before = parseMarkers(testing::markerFileText({a, b}));
    const auto after = parseMarkers(testing::markerFileText({a}));
    context.markersInFile = [&after] { return &*after; };
    EXPECT_THAT(apply(diffParsedMarkers(*before, *after)), ElementsAre("cmd Cue 1 / 67 Time 7 Timecode 00:00:10:00 #"));
}

}  // namespace
}  // namespace lanternwick
