#include "eos/CueSync.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "common/RecordingEosLink.h"
#include "common/ScriptedDeletionPrompt.h"
#include "eos/CueDeletionPrompt.h"

namespace lanternwick {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Kind = LightingAction::Kind;
using Policy = CueDeletionPromptPolicy;

LightingAction actionOf(Kind kind, std::int64_t list, std::string cue) {
    LightingAction action;
    action.kind = kind;
    action.newCueList = list;
    action.newCueID = std::move(cue);
    return action;
}

LightingAction cueIDChanged(std::int64_t list, std::string cue) { return actionOf(Kind::manualCueIDChanged, list, std::move(cue)); }

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
    LightingAction action = cueIDChanged(2, "7");
    action.newLabel = "Intro";
    action.newFadeTime = "2";
    action.newFadeOutTime = "3";
    action.newPosition = "1.5";
    action.newTimeCodeOffsetSeconds = 3610.5;
    EXPECT_THAT(applyActions({action}), ElementsAre("cmd $ Cue 2 / 7 Enter #", "cmd $ Cue 2 / 7 Time 2 / 3 #",
                                                    "cmd $ Cue 2 / 7 Timecode 01:00:12:00 #"));
    syncLabels = true;
    action.newFadeOutTime = "-1";
    EXPECT_THAT(applyActions({action}), ElementsAre("cmd $ Cue 2 / 7 Enter #", "cmd $ Cue 2 / 7 Label Intro #",
                                                    "cmd $ Cue 2 / 7 Time 2 #", "cmd $ Cue 2 / 7 Timecode 01:00:12:00 #"));
}

TEST_F(CueSync, ZeroBlankIncompleteOrHostileCuesSendNothing) {
    syncLabels = true;
    LightingAction noList = cueIDChanged(1, "4");
    noList.newCueList.reset();
    LightingAction noCue = cueIDChanged(1, "4");
    noCue.newCueID.reset();
    LightingAction hostile = cueIDChanged(1, "5# $ Delete Cue 1 / 1 Enter");
    hostile.newLabel = "x";
    LightingAction hostileFade = actionOf(Kind::fadeChanged, 1, "7");
    hostileFade.newFadeTime = "2 # $ Go";
    // The console takes "Enter" as the end of a command just as it takes "#".
    LightingAction wordyCue = cueIDChanged(1, "5 Enter Delete Cue 1 / 7");
    LightingAction wordyFade = actionOf(Kind::fadeChanged, 1, "7");
    wordyFade.newFadeTime = "2 Enter Delete Cue 1 / 7";
    LightingAction wordyFadeOut = actionOf(Kind::fadeChanged, 1, "7");
    wordyFadeOut.newFadeTime = "2";
    wordyFadeOut.newFadeOutTime = "3\tEnter Go";
    EXPECT_THAT(applyActions({cueIDChanged(1, "0.00"), cueIDChanged(1, "  "), noList, noCue, hostile, hostileFade,
                              wordyCue, wordyFade, wordyFadeOut,
                              actionOf(Kind::markerAdded, 1, "1"), actionOf(Kind::trackNameChanged, 1, "3")}),
                IsEmpty());
}

TEST_F(CueSync, FadePositionAndLabelChanges) {
    LightingAction sameFade = actionOf(Kind::fadeChanged, 1, "5");
    sameFade.oldFadeTime = sameFade.newFadeTime = "2";
    LightingAction fadeOutOnly = sameFade;
    fadeOutOnly.newCueID = "7";
    fadeOutOnly.newFadeOutTime = "x";
    LightingAction blankFade = actionOf(Kind::fadeChanged, 1, "8");
    blankFade.oldFadeTime = "2";
    blankFade.newFadeTime = "";
    // The old position is not compared: an unchanged one is sent again.
    LightingAction samePosition = actionOf(Kind::positionChanged, 1, "4");
    samePosition.oldPosition = samePosition.newPosition = "75.5";
    LightingAction badPosition = actionOf(Kind::positionChanged, 1, "6");
    badPosition.newPosition = "-1";
    LightingAction rename = actionOf(Kind::nameChanged, 1, "9");
    rename.newLabel = "Verse";
    const std::vector<LightingAction> actions{sameFade, fadeOutOnly, blankFade, samePosition, badPosition, rename};
    EXPECT_THAT(applyActions(actions),
                ElementsAre("cmd $ Cue 1 / 7 Time 2 / x #", "cmd $ Cue 1 / 4 Timecode 00:01:15:15 #"));
    syncLabels = true;
    EXPECT_THAT(applyActions({rename}), ElementsAre("cmd $ Cue 1 / 9 Label Verse #"));
}

TEST_F(CueSync, ProcessedCueSuppressesLaterActionsForThatCueOnly) {
    syncLabels = true;
    LightingAction fade = actionOf(Kind::fadeChanged, 1, "12");
    fade.newFadeTime = "3";
    LightingAction fadeBefore = fade;
    fadeBefore.newFadeTime = "9";
    LightingAction rename = actionOf(Kind::nameChanged, 1, "12");
    rename.newLabel = "X";
    LightingAction otherList = fade;
    otherList.newCueList = 2;
    EXPECT_THAT(applyActions({fadeBefore, cueIDChanged(1, "12"), fade, rename, otherList}),
                ElementsAre("cmd $ Cue 1 / 12 Time 9 #", "cmd $ Cue 1 / 12 Enter #", "cmd $ Cue 2 / 12 Time 3 #"));
    // Keys do not outlive one call, and a zero cue records none.
    EXPECT_THAT(applyActions({fade}), ElementsAre("cmd $ Cue 1 / 12 Time 3 #"));
    LightingAction zeroFade = actionOf(Kind::fadeChanged, 1, "0");
    zeroFade.newFadeTime = "1";
    EXPECT_THAT(applyActions({cueIDChanged(1, "0"), zeroFade}), IsEmpty());
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

    // A blank candidate is asked about but never sent.
    deleteCues = true;
    prompt->answers = {{false, false}, {true, false}, {true, true}};
    EXPECT_THAT(apply(diff), ElementsAre("cmd $ Delete Cue 3 / 13 Enter #", "cmd $ Delete Cue 4 / 1 Enter #"));
    EXPECT_THAT(prompt->questions,
                ElementsAre("Delete Cue 3/12.5 from Eos?", "Delete Cue 3/   from Eos?", "Delete Cue 3/13 from Eos?"));
    EXPECT_EQ(policy, Policy::autoYes);

    // The policy outlives the call and survives the option being off.
    deleteCues = false;
    EXPECT_THAT(apply(diff), IsEmpty());
    deleteCues = true;
    EXPECT_THAT(apply(diff), ::testing::SizeIs(3));
    EXPECT_EQ(prompt->questions.size(), 3U);

    policy = Policy::askEveryTime;
    prompt->answers = {{false, true}};
    EXPECT_THAT(apply(diff), IsEmpty());
    EXPECT_EQ(policy, Policy::autoNo);
    EXPECT_THAT(apply(diff), IsEmpty());
    EXPECT_EQ(prompt->questions.size(), 4U);

    // Without a prompt only "yes to all" deletes; asking is never assumed to say yes.
    context.prompt.reset();
    policy = Policy::askEveryTime;
    EXPECT_THAT(apply(diff), IsEmpty());
    policy = Policy::autoYes;
    EXPECT_THAT(apply(diff), ::testing::SizeIs(3));
}

TEST_F(CueSync, PolicyChangedWhileTheQuestionIsOpenWinsOverTheCheckbox) {
    deleteCues = true;
    MarkerDiff diff;
    diff.deletedCueCandidates = {{1, "1"}, {1, "2"}};
    prompt->answers = {{true, true}};
    prompt->whileOpen = [this] { policy = Policy::autoNo; };
    // The answer still decides this candidate; only the policy is left alone.
    EXPECT_THAT(apply(diff), ElementsAre("cmd $ Delete Cue 1 / 1 Enter #"));
    EXPECT_EQ(policy, Policy::autoNo);
    EXPECT_EQ(prompt->questions.size(), 1U);
}

TEST(CueDeletionQuestion, TextsOfTheDialog) {
    EXPECT_EQ(cueDeletionMessageText(-2, " 4 "), "Delete Cue -2/ 4  from Eos?");
    EXPECT_EQ(cueDeletionInformativeText, "This will send a delete command to Eos.");
    EXPECT_EQ(cueDeletionSuppressionTitle, "Do not ask again in this session");
}

}  // namespace
}  // namespace lanternwick
