#include "console-sim/ConsoleCommand.h"

#include <algorithm>

#include "support/IntegerText.h"

namespace lanternwick::sim {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

void skipBlanks(std::string_view& text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
}

// Consumes a keyword that must be followed by a blank or the end.
bool takeWord(std::string_view& text, std::string_view word) {
    if (text.substr(0, word.size()) != word) return false;
    const std::string_view rest = text.substr(word.size());
    if (!rest.empty() && !isBlank(rest.front())) return false;
    text = rest;
    skipBlanks(text);
    return true;
}

std::optional<std::int64_t> takeList(std::string_view& text) {
    std::size_t length = 0;
    if (length < text.size() && text[length] == '-') ++length;
    const std::size_t digitsStart = length;
    while (length < text.size() && text[length] >= '0' && text[length] <= '9') ++length;
    if (length == digitsStart) return std::nullopt;
    const std::optional<std::int64_t> value = parseInteger<std::int64_t>(text.substr(0, length));
    if (value) text.remove_prefix(length);
    return value;
}

std::string takeCueNumber(std::string_view& text) {
    std::size_t length = 0;
    while (length < text.size() && !isBlank(text[length]) && text[length] != '/') ++length;
    std::string number(text.substr(0, length));
    text.remove_prefix(length);
    return number;
}

// Finds " keyword" followed by a blank or the end, so that "Timecode" is not
// taken for "Time" and a label such as "Labels" is not a keyword.
std::size_t findKeyword(std::string_view text, std::string_view keyword) {
    std::size_t from = 0;
    while (true) {
        const std::size_t at = text.find(keyword, from);
        if (at == std::string_view::npos) return at;
        const std::size_t after = at + keyword.size();
        const bool startsWord = at == 0 || isBlank(text[at - 1]);
        const bool endsWord = after == text.size() || isBlank(text[after]);
        if (startsWord && endsWord) return at;
        from = at + 1;
    }
}

Failure<CommandLineError> refuse(std::string_view command, std::string reason) {
    return fail(CommandLineError{std::string(command), std::move(reason)});
}

Result<ConsoleCommand, CommandLineError> parseFields(std::string_view command, ConsoleCommand cue,
                                                     std::string_view rest) {
    cue.kind = ConsoleCommand::Kind::setCueFields;
    const std::size_t timeAt = findKeyword(rest, "Time");
    const std::size_t timecodeAt = findKeyword(rest, "Timecode");
    const std::size_t labelAt = findKeyword(rest, "Label");
    // Whatever comes first must be a keyword; each value runs to the next one.
    const std::size_t first = std::min({timeAt, timecodeAt, labelAt});
    if (first != 0) return refuse(command, "expected Enter, Time, Timecode or Label after the cue");
    const std::size_t end = rest.size();
    if (timeAt != std::string_view::npos && timeAt < std::min(timecodeAt, labelAt)) {
        cue.time = std::string(trimBlanks(rest.substr(4, std::min({timecodeAt, labelAt, end}) - 4)));
        if (cue.time->empty()) return refuse(command, "Time needs a value");
    } else if (timeAt != std::string_view::npos && timeAt < labelAt) {
        return refuse(command, "Time must come before Timecode");
    }
    if (timecodeAt != std::string_view::npos && timecodeAt < labelAt) {
        const std::size_t from = timecodeAt + 8;
        cue.timecode = std::string(trimBlanks(rest.substr(from, std::min(labelAt, end) - from)));
        if (cue.timecode->empty()) return refuse(command, "Timecode needs a value");
    }
    if (labelAt != std::string_view::npos) {
        cue.label = std::string(trimBlanks(rest.substr(labelAt + 5)));
    }
    return cue;
}

}  // namespace

CommandLinePieces splitCommandLine(std::string_view line) {
    CommandLinePieces pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t hash = line.find('#', start);
        if (hash == std::string_view::npos) break;
        const std::string_view command = trimBlanks(line.substr(start, hash - start));
        if (!command.empty()) pieces.commands.emplace_back(command);
        start = hash + 1;
    }
    pieces.unterminated = std::string(trimBlanks(line.substr(start)));
    return pieces;
}

Result<ConsoleCommand, CommandLineError> parseConsoleCommand(std::string_view command) {
    std::string_view rest = trimBlanks(command);
    if (!rest.empty() && rest.front() == '$') {
        rest.remove_prefix(1);
        skipBlanks(rest);
    }
    const bool deleting = takeWord(rest, "Delete");
    if (!takeWord(rest, "Cue")) return refuse(command, "expected Cue");

    ConsoleCommand cue;
    const std::optional<std::int64_t> list = takeList(rest);
    if (!list) return refuse(command, "expected a cue list number");
    cue.cueList = *list;
    skipBlanks(rest);
    if (rest.empty() || rest.front() != '/') return refuse(command, "expected / after the cue list");
    rest.remove_prefix(1);
    skipBlanks(rest);
    cue.cueNumber = takeCueNumber(rest);
    if (cue.cueNumber.empty()) return refuse(command, "expected a cue number");
    if (!rest.empty() && !isBlank(rest.front())) return refuse(command, "unexpected text after the cue number");
    rest = trimBlanks(rest);

    if (rest == "Enter") {
        cue.kind = deleting ? ConsoleCommand::Kind::deleteCue : ConsoleCommand::Kind::enterCue;
        return cue;
    }
    if (deleting) return refuse(command, "Delete needs Enter after the cue");
    if (rest.empty()) return refuse(command, "nothing to do with the cue");
    return parseFields(command, std::move(cue), rest);
}

}  // namespace lanternwick::sim
