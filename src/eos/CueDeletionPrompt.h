#pragma once
// CueDeletionPrompt: the question asked before a cue is deleted on the
// console, and the session policy that remembers a "do not ask again".
// The window answers with a modal dialog, the headless runner on the
// terminal, tests with scripted answers.
//
// Answering is synchronous: confirmCueDeletion returns only once the user
// has answered, on the main thread, inside the diff application. The
// window's modal dialog runs a nested event loop, so other main-thread work
// (a poll, console replies, even a change of the policy) may run while the
// question is open; decideCueDeletion reads the policy again afterwards for
// that reason. The prompt object is owned by the application and must
// outlive the monitor that asks it.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lanternwick {

enum class CueDeletionPromptPolicy { askEveryTime, autoYes, autoNo };

struct CueDeletionAnswer {
    bool confirmed = false;
    bool doNotAskAgain = false;
    // Why a No came without anybody answering (no terminal to ask, say);
    // empty when the user answered.
    std::string declinedBecause;

    friend bool operator==(const CueDeletionAnswer&, const CueDeletionAnswer&) = default;
};

class CueDeletionPrompt {
public:
    virtual ~CueDeletionPrompt() = default;

    // cueNumber is the candidate's number as carried, untrimmed.
    virtual CueDeletionAnswer confirmCueDeletion(std::int64_t list, std::string_view cueNumber) = 0;
};

// The dialog's texts, shared by every front end.
std::string cueDeletionMessageText(std::int64_t list, std::string_view cueNumber);
inline constexpr std::string_view cueDeletionInformativeText = "This will send a delete command to Eos.";
inline constexpr std::string_view cueDeletionSuppressionTitle = "Do not ask again in this session";
inline constexpr std::string_view cueDeletionYesButton = "Yes";
inline constexpr std::string_view cueDeletionNoButton = "No";

// Where the policy lives: the monitor's field, read and written through
// these so that a change made while the question is open is seen.
struct CueDeletionPolicyAccess {
    std::function<CueDeletionPromptPolicy()> read;
    std::function<void(CueDeletionPromptPolicy)> write;
};

struct CueDeletionDecision {
    bool confirmed = false;
    // The answer, when the question was asked.
    std::optional<CueDeletionAnswer> answer;
};

// Whether the candidate may be deleted, asking the prompt when the policy
// says so and updating the policy from the answer.
CueDeletionDecision decideCueDeletion(const CueDeletionPolicyAccess& policy, CueDeletionPrompt& prompt,
                                      std::int64_t list, std::string_view cueNumber);

}  // namespace lanternwick
