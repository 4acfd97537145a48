#pragma once
// TerminalDeletionPrompt: the cue deletion question on the controlling
// terminal (/dev/tty), never on standard output, so that output redirected to
// a file or a pipe neither hides the question nor receives it. Shows the same
// texts as the window's dialog and reads one answer line: y (delete), n or
// nothing (keep), a (delete, and stop asking), v (keep, and stop asking).
// Input typed before a question was shown never answers it.
//
// Like the window's modal dialog, a question runs the main queue while it
// waits, so polls, console replies and held lines go on. A second question
// that arrives meanwhile (from a poll run inside that wait) waits behind the
// first and is shown only once the first is answered; an answer that says
// "stop asking" answers the questions already waiting the same way.
// Without a terminal every question is answered No at once, with the reason
// skipReason::noTerminal; a stop request (Ctrl-C) while waiting is No. A run
// in the background shows the question but reads the answer only once it is
// in the foreground (the terminal would stop it otherwise). What it asks of
// the system is in TerminalDevice.h.
//
// Owned by the headless run; main thread only, the thread that drives the
// queue, which must outlive it.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "eos/CueDeletionPrompt.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {

class TerminalDeletionPrompt final : public CueDeletionPrompt {
public:
    TerminalDeletionPrompt(const std::filesystem::path& terminal, RunLoopMainQueue& queue,
                           std::function<bool()> stopRequested);
    ~TerminalDeletionPrompt() override;

    TerminalDeletionPrompt(const TerminalDeletionPrompt&) = delete;
    TerminalDeletionPrompt& operator=(const TerminalDeletionPrompt&) = delete;

    bool hasTerminal() const;

    CueDeletionAnswer confirmCueDeletion(std::int64_t list, std::string_view cueNumber) override;

private:
    struct Question {
        std::uint64_t ticket = 0;
        std::string messageText;
    };

    bool answered(std::uint64_t ticket);
    void readTerminal();
    void answerFront(const CueDeletionAnswer& answer);
    void answerAll(const CueDeletionAnswer& answer);
    void askFront();
    void write(std::string_view text);
    void loseTerminal();

    // The system's handle of the open terminal (see TerminalDevice.h).
    std::intptr_t terminal_;
    RunLoopMainQueue& queue_;
    std::function<bool()> stopRequested_;
    // The front question is the one shown on the terminal.
    std::deque<Question> waiting_;
    std::map<std::uint64_t, CueDeletionAnswer> answers_;
    std::string typed_;
    std::uint64_t nextTicket_ = 0;
};

// The one answer given when nobody is asked (--assume-yes, --assume-no); the
// policy normally keeps it from being consulted at all.
class FixedDeletionPrompt final : public CueDeletionPrompt {
public:
    explicit FixedDeletionPrompt(bool confirmed) : confirmed_(confirmed) {}
    CueDeletionAnswer confirmCueDeletion(std::int64_t, std::string_view) override {
        return {.confirmed = confirmed_, .doNotAskAgain = false, .declinedBecause = {}};
    }

private:
    bool confirmed_;
};

// The answer a typed line stands for (trimmed, case-insensitive; anything
// unknown is No).
CueDeletionAnswer terminalDeletionAnswer(std::string_view line);

}  // namespace lanternwick
