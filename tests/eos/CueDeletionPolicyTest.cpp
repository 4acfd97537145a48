#include <gtest/gtest.h>

#include "eos/CueDeletionPrompt.h"
#include "eos/ScriptedDeletionPrompt.h"

namespace lanternwick {
namespace {

using Policy = CueDeletionPromptPolicy;
using testing::ScriptedDeletionPrompt;

struct PolicyCase {
    Policy before;
    CueDeletionAnswer answer;
    bool asked;
    bool deleted;
    Policy after;
};

void PrintTo(const PolicyCase& c, std::ostream* os) {
    *os << static_cast<int>(c.before) << (c.answer.confirmed ? " yes" : " no") << (c.answer.doNotAskAgain ? " ticked" : "");
}

class CueDeletionPolicy : public ::testing::TestWithParam<PolicyCase> {};

TEST_P(CueDeletionPolicy, Transition) {
    const PolicyCase& c = GetParam();
    Policy policy = c.before;
    const CueDeletionPolicyAccess access{[&] { return policy; }, [&](Policy p) { policy = p; }};
    ScriptedDeletionPrompt prompt;
    prompt.answers.push_back(c.answer);

    EXPECT_EQ(decideCueDeletion(access, prompt, 3, "12.5"), c.deleted);
    EXPECT_EQ(prompt.questions.size(), c.asked ? 1U : 0U);
    EXPECT_EQ(policy, c.after);
}

INSTANTIATE_TEST_SUITE_P(
    AllAnswers, CueDeletionPolicy,
    ::testing::Values(PolicyCase{Policy::askEveryTime, {true, true}, true, true, Policy::autoYes},
                      PolicyCase{Policy::askEveryTime, {false, true}, true, false, Policy::autoNo},
                      PolicyCase{Policy::askEveryTime, {true, false}, true, true, Policy::askEveryTime},
                      PolicyCase{Policy::askEveryTime, {false, false}, true, false, Policy::askEveryTime},
                      PolicyCase{Policy::autoYes, {false, true}, false, true, Policy::autoYes},
                      PolicyCase{Policy::autoNo, {true, true}, false, false, Policy::autoNo}));

TEST(CueDeletionQuestion, TextsOfTheDialog) {
    EXPECT_EQ(cueDeletionMessageText(3, "12.5"), "Delete Cue 3/12.5 from Eos?");
    EXPECT_EQ(cueDeletionMessageText(-2, " 4 "), "Delete Cue -2/ 4  from Eos?");
    EXPECT_EQ(cueDeletionInformativeText, "This will send a delete command to Eos.");
    EXPECT_EQ(cueDeletionSuppressionTitle, "Do not ask again in this session");
}

TEST(CueDeletionQuestion, PolicyChangedWhileOpenWinsOverTheCheckbox) {
    Policy policy = Policy::askEveryTime;
    const CueDeletionPolicyAccess access{[&] { return policy; }, [&](Policy p) { policy = p; }};
    ScriptedDeletionPrompt prompt;
    prompt.whileOpen = [&] { policy = Policy::autoNo; };
    prompt.answers.push_back({true, true});

    // The answer still decides this candidate; only the policy is left alone.
    EXPECT_TRUE(decideCueDeletion(access, prompt, 1, "5"));
    EXPECT_EQ(policy, Policy::autoNo);

    policy = Policy::askEveryTime;
    prompt.whileOpen = [&] { policy = Policy::autoYes; };
    prompt.answers.push_back({false, true});
    EXPECT_FALSE(decideCueDeletion(access, prompt, 1, "6"));
    EXPECT_EQ(policy, Policy::autoYes);
}

}  // namespace
}  // namespace lanternwick
