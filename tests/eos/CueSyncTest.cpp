#include "eos/CueSync.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "eos/RecordingEosLink.h"
#include "eos/ScriptedDeletionPrompt.h"

namespace lanternwick {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Kind = LightingAction::Kind;
using Policy = CueDeletionPromptPolicy;

LightingAction cueIDChanged(std::int64_t list, std::string cue) {
    LightingAction action;
    action.kind = Kind::manualCueIDChanged;
    action.newCueList = list;
    action.newCueID = std::move(cue);
    return action;
}

LightingAction actionOf(Kind kind, std::int64_t list, std::string cue) {
    LightingAction action = cueIDChanged(list, std::move(cue));
    action.kind = kind;
    return action;
}

class CueSync : public ::testing::Test {
protected:
    CueSync() {
        context.optUpdateOnConnect = [this] { return updateOnConnect; };
        context.optSyncLabels = [this] { return syncLabels; };
        context.optDeleteCues = [this] { return deleteCues; };
        context.policy.read = [this] { return policy; };
        context.policy.write = [this](Policy p) { policy = p; };
        context.prompt = prompt;
    }

    std::vector<std::string> apply(const MarkerDiff& diff, bool initial = false) {
        link.sent.clear();
        applyDiffToEos(initial, diff, link, context);
        return link.sent;
    }

    std::vector<std::string> applyActions(std::vector<LightingAction> actions) {
        MarkerDiff diff;
        diff.actions = std::move(actions);
        return apply(diff);
    }

    bool updateOnConnect = false;
    bool syncLabels = false;
    bool deleteCues = false;
    Policy policy = Policy::askEveryTime;
    std::shared_ptr<testing::ScriptedDeletionPrompt> prompt = std::make_shared<testing::ScriptedDeletionPrompt>();
    CueSyncContext context;
    testing::RecordingEosLink link;
};

TEST_F(CueSync, CueIDChangeSendsEnterLabelTimeTimecodeInOrder) {
    syncLabels = true;
    LightingAction action = cueIDChanged(1, "12");
    action.newLabel = "Intro";
    action.newFadeTime = "2";
    action.newFadeOutTime = "-1";
    action.newPosition = "10";
    EXPECT_THAT(applyActions({action}),
                ElementsAre("cmd $ Cue 1 / 12 Enter #", "cmd $ Cue 1 / 12 Label Intro #", "cmd $ Cue 1 / 12 Time 2 #",
                            "cmd $ Cue 1 / 12 Timecode 00:00:10:00 #"));
}

TEST_F(CueSync, CueIDChangeUsesOffsetAndFadeOut) {
    LightingAction action = cueIDChanged(2, "7");
    action.newLabel = "Intro";
    action.newFadeTime = "2";
    action.newFadeOutTime = "3";
    action.newPosition = "1.5";
    action.newTimeCodeOffsetSeconds = 3610.5;
    EXPECT_THAT(applyActions({action}), ElementsAre("cmd $ Cue 2 / 7 Enter #", "cmd $ Cue 2 / 7 Time 2 / 3 #",
                                                    "cmd $ Cue 2 / 7 Timecode 01:00:12:00 #"));
}

TEST_F(CueSync, ZeroBlankOrIncompleteCueIDsSendNothing) {
    LightingAction noList = cueIDChanged(1, "4");
    noList.newCueList.reset();
    LightingAction noCue = cueIDChanged(1, "4");
    noCue.newCueID.reset();
    EXPECT_THAT(applyActions({cueIDChanged(1, "0"), cueIDChanged(1, "0.00"), cueIDChanged(1, "  "), noList, noCue}),
                IsEmpty());
    EXPECT_THAT(applyActions({cueIDChanged(1, "abc")}), ElementsAre("cmd $ Cue 1 / abc Enter #"));
}

TEST_F(CueSync, FadeChange) {
    LightingAction same = actionOf(Kind::fadeChanged, 1, "5");
    same.oldFadeTime = "2";
    same.newFadeTime = "2";
    LightingAction fromNothing = actionOf(Kind::fadeChanged, 1, "6");
    fromNothing.newFadeTime = "4";
    LightingAction fadeOutOnly = actionOf(Kind::fadeChanged, 1, "7");
    fadeOutOnly.oldFadeTime = "2";
    fadeOutOnly.newFadeTime = "2";
    fadeOutOnly.newFadeOutTime = "x";
    LightingAction blankNew = actionOf(Kind::fadeChanged, 1, "8");
    blankNew.oldFadeTime = "2";
    blankNew.newFadeTime = "";
    blankNew.newFadeOutTime = "3";
    EXPECT_THAT(applyActions({same, fromNothing, fadeOutOnly, blankNew}),
                ElementsAre("cmd $ Cue 1 / 6 Time 4 #", "cmd $ Cue 1 / 7 Time 2 / x #"));
}

TEST_F(CueSync, PositionChange) {
    LightingAction valid = actionOf(Kind::positionChanged, 1, "5");
    valid.oldPosition = "75.5";
    valid.newPosition = "75.5";
    std::vector<LightingAction> actions{valid};
    for (const char* unusable : {"-1", "", "nan", "later"}) {
        LightingAction action = actionOf(Kind::positionChanged, 1, "6");
        action.newPosition = unusable;
        actions.push_back(action);
    }
    actions.push_back(actionOf(Kind::positionChanged, 1, "7"));
    // The old position is not compared: an unchanged one is sent again.
    EXPECT_THAT(applyActions(actions), ElementsAre("cmd $ Cue 1 / 5 Timecode 00:01:15:15 #"));
}

TEST_F(CueSync, LabelSync) {
    LightingAction rename = actionOf(Kind::nameChanged, 1, "5");
    rename.newLabel = "Verse";
    LightingAction id = cueIDChanged(1, "6");
    id.newLabel = "Chorus";
    EXPECT_THAT(applyActions({rename, id}), ElementsAre("cmd $ Cue 1 / 6 Enter #"));
    syncLabels = true;
    LightingAction blank = actionOf(Kind::nameChanged, 1, "7");
    blank.newLabel = "";
    LightingAction noLabel = actionOf(Kind::nameChanged, 1, "8");
    EXPECT_THAT(applyActions({rename, id, blank, noLabel}),
                ElementsAre("cmd $ Cue 1 / 5 Label Verse #", "cmd $ Cue 1 / 6 Enter #", "cmd $ Cue 1 / 6 Label Chorus #",
                            "cmd $ Cue 1 / 7 Label  #"));
}

TEST_F(CueSync, ProcessedCueSuppressesLaterActionsForThatCueOnly) {
    syncLabels = true;
    LightingAction id = cueIDChanged(1, "12");
    LightingAction fade = actionOf(Kind::fadeChanged, 1, "12");
    fade.newFadeTime = "3";
    LightingAction position = actionOf(Kind::positionChanged, 1, "12");
    position.newPosition = "4";
    LightingAction rename = actionOf(Kind::nameChanged, 1, "12");
    rename.newLabel = "X";
    LightingAction otherList = actionOf(Kind::fadeChanged, 2, "12");
    otherList.newFadeTime = "3";
    LightingAction fadeBefore = actionOf(Kind::fadeChanged, 1, "12");
    fadeBefore.newFadeTime = "9";
    EXPECT_THAT(applyActions({fadeBefore, id, fade, position, rename, otherList}),
                ElementsAre("cmd $ Cue 1 / 12 Time 9 #", "cmd $ Cue 1 / 12 Enter #", "cmd $ Cue 2 / 12 Time 3 #"));

    // Keys do not outlive one call.
    EXPECT_THAT(applyActions({fade}), ElementsAre("cmd $ Cue 1 / 12 Time 3 #"));

    // A zero cue records no key.
    LightingAction zero = cueIDChanged(1, "0");
    LightingAction zeroFade = actionOf(Kind::fadeChanged, 1, "0");
    zeroFade.newFadeTime = "1";
    EXPECT_THAT(applyActions({zero, zeroFade}), IsEmpty());
}

TEST_F(CueSync, OtherKindsSendNothing) {
    EXPECT_THAT(applyActions({actionOf(Kind::markerAdded, 1, "1"), actionOf(Kind::markerDeleted, 1, "2"),
                              actionOf(Kind::trackNameChanged, 1, "3"), actionOf(Kind::unknown, 1, "4")}),
                IsEmpty());
}

TEST_F(CueSync, HostileTextsFromTheFile) {
    syncLabels = true;
    LightingAction id = cueIDChanged(1, "5# $ Delete Cue 1 / 1 Enter");
    id.newLabel = "x";
    LightingAction rename = actionOf(Kind::nameChanged, 1, "6");
    rename.newLabel = "Song #2";
    LightingAction fade = actionOf(Kind::fadeChanged, 1, "7");
    fade.newFadeTime = "2 # $ Go";
    EXPECT_THAT(applyActions({id, rename, fade}), ElementsAre("cmd $ Cue 1 / 6 Label Song 2 #"));
}

TEST_F(CueSync, QueriesOnlyForFirstSnapshotWithUpdateOnConnect) {
    MarkerDiff diff;
    diff.cueLookupRequests = {{1, "12"}, {2, " "}, {2, " 7 "}, {3, "4#"}};
    EXPECT_THAT(apply(diff, true), IsEmpty());
    updateOnConnect = true;
    EXPECT_THAT(apply(diff, false), IsEmpty());
    EXPECT_THAT(apply(diff, true), ElementsAre("/eos/get/cue/1/12", "/eos/get/cue/2/7"));
}

TEST_F(CueSync, QueriesComeBeforeActionsAndDeletionsLast) {
    updateOnConnect = true;
    deleteCues = true;
    policy = Policy::autoYes;
    MarkerDiff diff;
    diff.cueLookupRequests = {{1, "1"}};
    diff.actions = {cueIDChanged(1, "2")};
    diff.deletedCueCandidates = {{1, "3"}};
    EXPECT_THAT(apply(diff, true),
                ElementsAre("/eos/get/cue/1/1", "cmd $ Cue 1 / 2 Enter #", "cmd $ Delete Cue 1 / 3 Enter #"));
}

TEST_F(CueSync, DeletionsAskAndFollowThePolicy) {
    MarkerDiff diff;
    diff.deletedCueCandidates = {{3, "12.5"}, {3, "13"}, {4, "1"}};
    EXPECT_THAT(apply(diff), IsEmpty());
    EXPECT_THAT(prompt->questions, IsEmpty());

    deleteCues = true;
    prompt->answers = {{false, false}, {true, true}};
    EXPECT_THAT(apply(diff), ElementsAre("cmd $ Delete Cue 3 / 13 Enter #", "cmd $ Delete Cue 4 / 1 Enter #"));
    EXPECT_THAT(prompt->questions, ElementsAre("Delete Cue 3/12.5 from Eos?", "Delete Cue 3/13 from Eos?"));
    EXPECT_EQ(policy, Policy::autoYes);

    // The policy outlives the call and survives the option being off.
    deleteCues = false;
    EXPECT_THAT(apply(diff), IsEmpty());
    deleteCues = true;
    EXPECT_THAT(apply(diff), ::testing::SizeIs(3));
    EXPECT_EQ(prompt->questions.size(), 2U);
}

TEST_F(CueSync, NoWithCheckboxSkipsEveryLaterDeletion) {
    deleteCues = true;
    MarkerDiff diff;
    diff.deletedCueCandidates = {{1, "1"}, {1, "2"}};
    prompt->answers = {{false, true}};
    EXPECT_THAT(apply(diff), IsEmpty());
    EXPECT_EQ(prompt->questions.size(), 1U);
    EXPECT_EQ(policy, Policy::autoNo);
}

TEST_F(CueSync, BlankCandidateAskedButNotSent) {
    deleteCues = true;
    MarkerDiff diff;
    diff.deletedCueCandidates = {{1, "  "}};
    prompt->answers = {{true, false}};
    EXPECT_THAT(apply(diff), IsEmpty());
    EXPECT_THAT(prompt->questions, ElementsAre("Delete Cue 1/   from Eos?"));
}

TEST_F(CueSync, PolicyChangedWhileQuestionOpenIsKept) {
    deleteCues = true;
    MarkerDiff diff;
    diff.deletedCueCandidates = {{1, "1"}, {1, "2"}};
    prompt->answers = {{true, true}};
    prompt->whileOpen = [this] { policy = Policy::autoNo; };
    EXPECT_THAT(apply(diff), ElementsAre("cmd $ Delete Cue 1 / 1 Enter #"));
    EXPECT_EQ(policy, Policy::autoNo);
    EXPECT_EQ(prompt->questions.size(), 1U);
}

LightingMarker marker(std::optional<std::int64_t> list, std::string cue) {
    LightingMarker m;
    m.cueList = list;
    m.manualCueID = std::move(cue);
    return m;
}

TEST(FullCueLines, OneLinePerMarkerWithACue) {
    LightingMarker intro = marker(2, "7");
    intro.fadeRaw = "3";
    intro.fadeOutRaw = "-1";
    intro.positionRaw = "12";
    intro.label = "Intro";
    LightingMarker bare = marker(2, " 8 ");
    bare.label = " Outro ";
    LightingMarker offset = marker(1, "9");
    offset.positionRaw = "1.5";
    offset.timeCodeOffsetSeconds = 3610.5;
    offset.fadeRaw = "2";
    offset.fadeOutRaw = "4";
    const std::vector<LightingMarker> markers{intro, marker(1, "0"), marker(std::nullopt, "5"), marker(1, " "), bare,
                                              offset};
    EXPECT_THAT(fullCueLinesFor(markers, true),
                ElementsAre("Cue 2 / 7 Time 3 Timecode 00:00:12:00 Label Intro #",
                            "Cue 2 / 8 Time 0 Timecode 00:00:00:00 Label Outro #",
                            "Cue 1 / 9 Time 2 / 4 Timecode 01:00:12:00 #"));
    EXPECT_THAT(fullCueLinesFor(markers, false),
                ElementsAre("Cue 2 / 7 Time 3 Timecode 00:00:12:00 #", "Cue 2 / 8 Time 0 Timecode 00:00:00:00 #",
                            "Cue 1 / 9 Time 2 / 4 Timecode 01:00:12:00 #"));
}

}  // namespace
}  // namespace lanternwick
