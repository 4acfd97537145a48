#include "headless/TerminalDeletionPrompt.h"

#include <cctype>

#include "eos/SyncOutcome.h"
#include "headless/HeadlessRecordFormat.h"
#include "headless/TerminalDevice.h"

namespace lanternwick {

namespace {

// A terminal that stops taking output (Ctrl-S) is given this long for one
// question before the rest of it is let go; the answer is still read.
constexpr auto terminalWriteGrace = std::chrono::seconds(2);
constexpr auto roomWaitSlice = std::chrono::milliseconds(100);
constexpr auto waitSlice = std::chrono::seconds(1);

std::string questionText(std::string_view messageText) {
    std::string text = printableText(messageText);
    text += "\n";
    text += cueDeletionInformativeText;
    text += "\n[y] ";
    text += cueDeletionYesButton;
    text += "  [n] ";
    text += cueDeletionNoButton;
    text += "  [a] ";
    text += cueDeletionYesButton;
    text += ", ";
    text += cueDeletionSuppressionTitle;
    text += "  [v] ";
    text += cueDeletionNoButton;
    text += ", ";
    text += cueDeletionSuppressionTitle;
    text += "\nType y, n, a or v, then press Enter (default n): ";
    return text;
}

CueDeletionAnswer noTerminalAnswer() {
    return {.confirmed = false, .doNotAskAgain = false, .declinedBecause = std::string(skipReason::noTerminal)};
}

}  // namespace

CueDeletionAnswer terminalDeletionAnswer(std::string_view line) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    std::string word;
    for (const char c : line) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word == "y" || word == "yes") return {true, false, {}};
    if (word == "a" || word == "always") return {true, true, {}};
    if (word == "v" || word == "never") return {false, true, {}};
    return {false, false, {}};
}

TerminalDeletionPrompt::TerminalDeletionPrompt(const std::filesystem::path& terminal, RunLoopMainQueue& queue,
                                               std::function<bool()> stopRequested)
    // Never waiting on the terminal, so that waiting for an answer never
    // stops the main queue.
    : terminal_(terminalDevice::open(terminal)), queue_(queue), stopRequested_(std::move(stopRequested)) {}

TerminalDeletionPrompt::~TerminalDeletionPrompt() {
    if (hasTerminal()) terminalDevice::close(terminal_);
}

bool TerminalDeletionPrompt::hasTerminal() const {
    return terminal_ != terminalDevice::noHandle;
}

CueDeletionAnswer TerminalDeletionPrompt::confirmCueDeletion(const std::int64_t list,
                                                             const std::string_view cueNumber) {
    if (!hasTerminal()) return noTerminalAnswer();
    // The run is ending: the candidates left in this diff are not asked about.
    if (stopRequested_ && stopRequested_()) return {false, false, {}};
    const std::uint64_t ticket = nextTicket_++;
    waiting_.push_back({ticket, cueDeletionMessageText(list, cueNumber)});
    if (waiting_.size() == 1) askFront();
    while (!answered(ticket)) {
        queue_.runUntil([this, ticket] { return answered(ticket); }, waitSlice);
    }
    return answers_.extract(ticket).mapped();
}

// Also where the terminal is read: the predicate of every wait, the nested
// ones included, so whichever wait runs innermost serves all questions.
bool TerminalDeletionPrompt::answered(const std::uint64_t ticket) {
    if (!answers_.contains(ticket)) {
        if (stopRequested_ && stopRequested_()) {
            if (!waiting_.empty()) write("\n");
            answerAll({false, false, {}});
        } else if (hasTerminal()) {
            if (terminalDevice::inForeground(terminal_)) readTerminal();
        } else {
            answerAll(noTerminalAnswer());
        }
    }
    return answers_.contains(ticket);
}

void TerminalDeletionPrompt::readTerminal() {
    char buffer[256];
    while (true) {
        const terminalDevice::Transfer got = terminalDevice::read(terminal_, buffer, sizeof buffer);
        if (got.stop == terminalDevice::Transfer::Stop::none) {
            typed_.append(buffer, got.count);
            continue;
        }
        if (got.stop == terminalDevice::Transfer::Stop::endOfInput) {
            // End of input (Ctrl-D on an empty line, or a hung-up terminal)
            // ends the line in progress.
            const std::string line = std::exchange(typed_, {});
            write("\n");
            // Writing may have found the terminal gone, which answers everything.
            if (!waiting_.empty()) answerFront(terminalDeletionAnswer(line));
            break;
        }
        if (got.stop == terminalDevice::Transfer::Stop::wouldBlock) break;
        loseTerminal();
        return;
    }
    for (std::size_t end = typed_.find('\n'); end != std::string::npos && !waiting_.empty();
         end = typed_.find('\n')) {
        const std::string line = typed_.substr(0, end);
        typed_.erase(0, end + 1);
        answerFront(terminalDeletionAnswer(line));
    }
}

void TerminalDeletionPrompt::answerFront(const CueDeletionAnswer& answer) {
    answers_[waiting_.front().ticket] = answer;
    waiting_.pop_front();
    if (answer.doNotAskAgain) {
        const std::deque<Question> alsoAnswered = std::exchange(waiting_, {});
        for (const Question& question : alsoAnswered) {
            answers_[question.ticket] = answer;
            write(printableText(question.messageText) + " " +
                  std::string(answer.confirmed ? cueDeletionYesButton : cueDeletionNoButton) + "\n");
        }
    }
    if (!waiting_.empty()) askFront();
}

void TerminalDeletionPrompt::answerAll(const CueDeletionAnswer& answer) {
    for (const Question& question : std::exchange(waiting_, {})) answers_[question.ticket] = answer;
}

void TerminalDeletionPrompt::askFront() {
    // Whatever was typed before this question could be seen is not its answer.
    typed_.clear();
    if (terminalDevice::inForeground(terminal_)) terminalDevice::discardTyped(terminal_);
    write(questionText(waiting_.front().messageText));
}

void TerminalDeletionPrompt::write(std::string_view text) {
    const auto giveUp = std::chrono::steady_clock::now() + terminalWriteGrace;
    while (!text.empty() && hasTerminal()) {
        const terminalDevice::Transfer written = terminalDevice::write(terminal_, text);
        if (written.stop == terminalDevice::Transfer::Stop::none) {
            text.remove_prefix(written.count);
            continue;
        }
        if (written.stop == terminalDevice::Transfer::Stop::wouldBlock) {
            if (std::chrono::steady_clock::now() >= giveUp) return;
            terminalDevice::waitForRoom(terminal_, roomWaitSlice);
            continue;
        }
        loseTerminal();
    }
}

void TerminalDeletionPrompt::loseTerminal() {
    terminalDevice::close(terminal_);
    terminal_ = terminalDevice::noHandle;
    answerAll(noTerminalAnswer());
}

}  // namespace lanternwick
