#pragma once
// HeadlessRecordFormat: how one change event or one sync outcome reads on
// standard output: a line for a person ("14:02:03.481 -> sent ...") or a JSON
// Lines object for a script. Pure functions of the record, the local time zone
// aside; any thread.
//
// Every text that came from outside (the marker file, the console, the
// operating system) is made safe for its reader: in the person's lines control
// characters appear as \xNN so that nothing in a label can move the terminal's
// cursor or split a record; in JSON every string is valid UTF-8 and properly
// escaped, and bytes that are not UTF-8 become U+FFFD.

#include <chrono>
#include <string>
#include <string_view>

#include <cstdint>
#include <vector>

#include "eos/EosConsoleSettings.h"
#include "eos/SyncOutcome.h"
#include "markers/LightingChangeEvent.h"

namespace lanternwick {

// "14:02:03.481": the local wall-clock time to the millisecond.
std::string localClockText(std::chrono::system_clock::time_point time);

// "2024-05-01T14:02:03.481+02:00": RFC 3339 local time with milliseconds and
// the zone's offset (+00:00 for UTC).
std::string rfc3339Text(std::chrono::system_clock::time_point time);

// "<display name>: <summary>" (the summary alone when it already starts so)
// and each line of the details indented by four blanks, every line ended by a
// line feed.
std::string headlessEventText(const LightingChangeEvent& event);

// One line without the time and without the line feed:
//   -> sent <address> <text>          .. held <address> <text>
//   .. waiting <address> <text>       .. replaced <address> <text>
//   ok <N> confirmed (<T> ms)
//   !! dropped <address> <text> (<reason>)   (and !! skipped, a line too large)
//   !! skipped cue <list>/<cue> <what>: <reason>
//   <- <address> <values>             == connected to <host>:<port>
//   <- cue <list>/<cue>: label <label>, time <s> s, timecode <timecode>
//   ?? Delete Cue <list>/<cue> from Eos? yes, do not ask again
std::string headlessOutcomeText(const SyncOutcome::Detail& detail);

// One JSON object and its line feed. Every record has "time", "type" and
// "id"; see the README for the fields of each type.
std::string eventJsonLine(const LightingChangeEvent& event);
std::string outcomeJsonLine(const SyncOutcome& outcome);

// `text` as a JSON string, quotes included.
std::string jsonString(std::string_view text);

// `text` with control characters written as \xNN and ill-formed UTF-8 as
// U+FFFD, for a terminal.
std::string printableText(std::string_view text);

}  // namespace lanternwick

namespace lanternwick {

// What a terminal run starts with, and where each value comes from: a flag
// ("--sync-labels"), "saved" or "default".
struct StartNote {
    struct Option {
        // "updateOnConnect", "syncLabels", "deleteCues".
        std::string name;
        bool on = false;
        std::string source;
    };
    enum class Deletion { ask, noTerminal, yes, no };

    std::chrono::system_clock::time_point time;
    std::string file;
    std::string fileSource;
    std::string host;
    std::string hostSource;
    std::uint16_t port = 0;
    std::string portSource;
    EosFraming framing = EosFraming::slip;
    std::string framingSource;
    std::vector<Option> options;
    Deletion deletion = Deletion::ask;
};

// Two lines, each ended by a line feed:
//   Watching <file> (<source>), console <host>:<port> (<sources>), framing <name> (<source>) (Ctrl-C stops)
//   Options: update on connect off (saved), sync labels on (--sync-labels), delete cues ON (saved: ...)
std::string startNoteText(const StartNote& note);
// The same as one "start" record.
std::string startJsonLine(const StartNote& note, const Uuid& id);

// The line that says how many records a stalled reader missed:
// "!! 153 records not printed: the output was not read" (after the time in
// text), or a "notPrinted" record with the count.
std::string notPrintedText(std::uint64_t count);
std::string notPrintedJsonLine(std::chrono::system_clock::time_point time, const Uuid& id, std::uint64_t count);

}  // namespace lanternwick
