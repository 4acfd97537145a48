#include "headless/TerminalDeletionPrompt.h"

#include <cctype>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace lanternwick {

CueDeletionAnswer terminalDeletionAnswer(std::string_view line) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    std::string word;
    for (const char c : line) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word == "y" || word == "yes") return {true, false};
    if (word == "a" || word == "always") return {true, true};
    if (word == "v" || word == "never") return {false, true};
    return {false, false};
}

TerminalDeletionPrompt::TerminalDeletionPrompt(const int inputDescriptor, std::ostream& out,
                                               std::function<bool()> stopRequested)
    : input_(inputDescriptor), out_(out), stopRequested_(std::move(stopRequested)) {}

CueDeletionAnswer TerminalDeletionPrompt::confirmCueDeletion(const std::int64_t list,
                                                             const std::string_view cueNumber) {
    out_ << cueDeletionMessageText(list, cueNumber) << "\n"
         << cueDeletionInformativeText << "\n"
         << "[y] " << cueDeletionYesButton << "  [n] " << cueDeletionNoButton << "  [a] "
         << cueDeletionYesButton << ", " << cueDeletionSuppressionTitle << "  [v] " << cueDeletionNoButton
         << ", " << cueDeletionSuppressionTitle << " (default n): ";
    out_.flush();
    const std::optional<std::string> line = readLine();
    if (!line) {
        out_ << "\n";
        return {false, false};
    }
    return terminalDeletionAnswer(*line);
}

std::optional<std::string> TerminalDeletionPrompt::readLine() {
    std::string line;
    while (true) {
        if (stopRequested_ && stopRequested_()) return std::nullopt;
        pollfd wait{input_, POLLIN, 0};
        const int ready = ::poll(&wait, 1, 200);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return std::nullopt;
        if (ready == 0) continue;
        char c = 0;
        const auto got = ::read(input_, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
        if (c == '\n') return line;
        line += c;
    }
}

}  // namespace lanternwick
