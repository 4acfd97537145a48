#pragma once
// ConsoleCommand: one command of the console's command line, as the simulator
// understands it. A command line may hold several commands, each ended by "#"
// (that is how the console reads it, which is exactly why a "#" inside a label
// must never reach it). Pure functions, callable from any thread.
//
// Understood forms (L a decimal list, C a cue number without blanks, "/" or "#"):
//   [$ ]Cue L / C Enter                     create the cue
//   [$ ]Cue L / C [Time V] [Timecode V] [Label V]
//                                            set fields, creating the cue if
//                                            needed; an empty label clears it
//   [$ ]Delete Cue L / C Enter              remove the cue
// Field values are trimmed of blanks; Time runs up to " Timecode " or
// " Label ", Timecode up to " Label ", and a label to the end of the command,
// so labels may contain any keyword.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Result.h"

namespace lanternwick::sim {

struct ConsoleCommand {
    enum class Kind { enterCue, setCueFields, deleteCue };

    Kind kind = Kind::enterCue;
    std::int64_t cueList = 0;
    std::string cueNumber;
    std::optional<std::string> time;
    std::optional<std::string> timecode;
    std::optional<std::string> label;

    friend bool operator==(const ConsoleCommand&, const ConsoleCommand&) = default;
};

struct CommandLineError {
    std::string command;  // the command text that was refused, without "#"
    std::string reason;

    friend bool operator==(const CommandLineError&, const CommandLineError&) = default;
};

// The pieces of a command line: every command that was ended by "#" (without
// it, leading and trailing blanks removed, empty ones dropped) and whatever
// text follows the last "#", which the console would leave unexecuted.
struct CommandLinePieces {
    std::vector<std::string> commands;
    std::string unterminated;

    friend bool operator==(const CommandLinePieces&, const CommandLinePieces&) = default;
};

CommandLinePieces splitCommandLine(std::string_view line);

// Parses one command as produced by splitCommandLine.
Result<ConsoleCommand, CommandLineError> parseConsoleCommand(std::string_view command);

}  // namespace lanternwick::sim
