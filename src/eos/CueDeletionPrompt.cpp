#include "eos/CueDeletionPrompt.h"

namespace lanternwick {

std::string cueDeletionMessageText(std::int64_t list, std::string_view cueNumber) {
    std::string text = "Delete Cue ";
    text += std::to_string(list);
    text += "/";
    text += cueNumber;
    text += " from Eos?";
    return text;
}

CueDeletionDecision decideCueDeletion(const CueDeletionPolicyAccess& policy, CueDeletionPrompt& prompt,
                                      std::int64_t list, std::string_view cueNumber) {
    switch (policy.read()) {
    case CueDeletionPromptPolicy::autoYes:
        return {true, std::nullopt};
    case CueDeletionPromptPolicy::autoNo:
        return {false, std::nullopt};
    case CueDeletionPromptPolicy::askEveryTime:
        break;
    }
    CueDeletionAnswer answer = prompt.confirmCueDeletion(list, cueNumber);
    // A policy set while the question was open wins over this answer's checkbox.
    if (policy.read() == CueDeletionPromptPolicy::askEveryTime && answer.doNotAskAgain) {
        policy.write(answer.confirmed ? CueDeletionPromptPolicy::autoYes : CueDeletionPromptPolicy::autoNo);
    }
    return {answer.confirmed, std::move(answer)};
}

}  // namespace lanternwick
