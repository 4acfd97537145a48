#pragma once
// The Eos command lines and cue addresses the system sends, spelled in one
// place. Pure functions, callable from any thread.
//
// Every text taken from the marker file goes into a line in its wire form
// (markers/ConsoleCue.h: trimmed and converted to ASCII as the OSC layer
// would), and is judged in that form, because that is what the console
// reads. A cue must be a console cue number and a fade a console time;
// anything else would let the file's text add words of its own, so it gives
// no line. Labels keep their words; control characters are dropped and "#"
// (which ends a line) is removed. Lists are written in decimal.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lanternwick {

// "$ Cue L / C Enter #"
std::optional<std::string> enterCueLine(std::int64_t list, std::string_view cue);
// "$ Cue L / C Time V #"; V is a console time, or two joined by " / ".
std::optional<std::string> cueTimeLine(std::int64_t list, std::string_view cue, std::string_view value);
// "$ Cue L / C Timecode V #"; V is "HH:MM:SS:FF".
std::optional<std::string> cueTimecodeLine(std::int64_t list, std::string_view cue, std::string_view value);
// "$ Cue L / C Label V #"; an empty label is allowed and leaves two blanks before "#".
std::optional<std::string> cueLabelLine(std::int64_t list, std::string_view cue, std::string_view label);
// "$ Delete Cue L / C Enter #"
std::optional<std::string> deleteCueLine(std::int64_t list, std::string_view cue);
// "Cue L / C[ Time fade][ Timecode timecode][ Label label] #", the full line
// sent on connect. No fade leaves the Time part out and no timecode the
// Timecode part, so that a value the file spells wrongly never overwrites the
// console's (a Timecode of 00:00:00:00 would fire the cue at the start of
// the time code); an empty label is left out.
std::optional<std::string> fullCueLine(std::int64_t list, std::string_view cue, std::optional<std::string> fade,
                                       std::optional<std::string> timecode, std::optional<std::string> label);
// "/eos/get/cue/L/C"
std::optional<std::string> cueQueryAddress(std::int64_t list, std::string_view cue);

// Which cue a line composed here addresses and which of its parts it sets,
// read back from the line itself (the cue as its console identity, so "3" and
// "3.0" are one cue). A line held for a console that is away is replaced by a
// newer one of the same key.
struct CueLineKey {
    enum class Part { enter, time, timecode, label, deletion, full, query };

    std::int64_t list = 0;
    std::string cue;
    Part part = Part::enter;

    friend bool operator==(const CueLineKey&, const CueLineKey&) = default;
};
// For a command line (address "/eos/user/0/newcmd") or a cue query address;
// absent for anything else (the blind key).
std::optional<CueLineKey> cueLineKey(std::string_view address, std::string_view text);

// Whether a line composed here empties a cue's label: the full line leaves an
// empty label out, so only this line can tell the console.
bool clearsCueLabel(std::string_view address, std::string_view text);

// The cue as it goes into a line: its wire form, when that is a console cue
// number.
std::optional<std::string> usableCueText(std::string_view cue);
// The label as it goes into a line: control characters dropped, converted,
// every "#" removed, trimmed.
std::string sanitizedLabel(std::string_view label);

// True when the trimmed text reads completely as a number equal to 0 (0, 0.0,
// 00, -0), or its wire form is a cue number equal to 0.
bool isZeroCue(std::string_view cue);

// The fade's wire form, or "fade / fadeOut" when a fade-out other than -1 is
// given; absent without a fade or when the fade is not a console time. A
// fade-out that is not a console time is left out.
std::optional<std::string> fadeTimeText(std::optional<std::string_view> fade,
                                        std::optional<std::string_view> fadeOut);
// Whether the fade-out, when given and other than -1, is a console time.
bool usableFadeOut(std::optional<std::string_view> fadeOut);
// The timecode of a non-negative position plus the offset; absent when the
// position does not read as such a number.
std::optional<std::string> timecodeText(std::optional<std::string_view> position, double offsetSeconds);
// "HH:MM:SS:FF" at 30 frames per second, frames rounded half away from zero,
// hours unwrapped; absent for negative, not-a-number, infinite or
// out-of-range values.
std::optional<std::string> formatTimecode(double seconds);

}  // namespace lanternwick
