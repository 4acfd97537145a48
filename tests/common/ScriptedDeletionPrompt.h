#pragma once
// A deletion prompt that answers from a script and remembers each question
// as its message text; an optional hook runs while the "dialog" is open.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "eos/CueDeletionPrompt.h"

namespace lanternwick::testing {

class ScriptedDeletionPrompt final : public CueDeletionPrompt {
public:
    CueDeletionAnswer confirmCueDeletion(std::int64_t list, std::string_view cueNumber) override {
        questions.push_back(cueDeletionMessageText(list, cueNumber));
        if (whileOpen) {
            whileOpen();
        }
        if (answers.empty()) {
            return {};
        }
        const CueDeletionAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<CueDeletionAnswer> answers;
    std::vector<std::string> questions;
    std::function<void()> whileOpen;
};

}  // namespace lanternwick::testing
