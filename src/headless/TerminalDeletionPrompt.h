#pragma once
// TerminalDeletionPrompt: the cue deletion question on a terminal. Shows the
// same texts as the window's dialog and reads one answer line: y (delete),
// n or nothing (keep), a (delete, and stop asking), v (keep, and stop
// asking). Like the dialog it blocks the main thread until answered; a stop
// request (Ctrl-C) while it waits counts as No. Owned by the headless run;
// main thread only.

#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "eos/CueDeletionPrompt.h"

namespace lanternwick {

class TerminalDeletionPrompt final : public CueDeletionPrompt {
public:
    // input is read with poll(), so that stopRequested is checked while waiting.
    TerminalDeletionPrompt(int inputDescriptor, std::ostream& out, std::function<bool()> stopRequested);

    CueDeletionAnswer confirmCueDeletion(std::int64_t list, std::string_view cueNumber) override;

private:
    std::optional<std::string> readLine();

    int input_;
    std::ostream& out_;
    std::function<bool()> stopRequested_;
};

// The one answer given when nobody can be asked (--assume-yes, --assume-no,
// or no terminal); the policy normally keeps it from being consulted at all.
class FixedDeletionPrompt final : public CueDeletionPrompt {
public:
    explicit FixedDeletionPrompt(bool confirmed) : confirmed_(confirmed) {}
    CueDeletionAnswer confirmCueDeletion(std::int64_t, std::string_view) override { return {confirmed_, false}; }

private:
    bool confirmed_;
};

// The answer a typed line stands for (trimmed, case-insensitive; anything
// unknown is No).
CueDeletionAnswer terminalDeletionAnswer(std::string_view line);

}  // namespace lanternwick
