#pragma once
// The Eos command lines and cue addresses the system sends, spelled in one
// place. Pure functions, callable from any thread.
//
// The console ends a command line at "#", so no text taken from the marker
// file may carry one into a line: "#" characters are removed from labels, and
// a cue number, time or timecode value holding "#" is unusable and gives no
// line, like a blank one. Cue numbers and values are trimmed; lists are
// written in decimal.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lanternwick {

// "$ Cue L / C Enter #"
std::optional<std::string> enterCueLine(std::int64_t list, std::string_view cue);
// "$ Cue L / C Time V #"
std::optional<std::string> cueTimeLine(std::int64_t list, std::string_view cue, std::string_view value);
// "$ Cue L / C Timecode V #"
std::optional<std::string> cueTimecodeLine(std::int64_t list, std::string_view cue, std::string_view value);
// "$ Cue L / C Label V #"; an empty label is allowed and leaves two blanks before "#".
std::optional<std::string> cueLabelLine(std::int64_t list, std::string_view cue, std::string_view label);
// "$ Delete Cue L / C Enter #"
std::optional<std::string> deleteCueLine(std::int64_t list, std::string_view cue);
// "Cue L / C Time fade Timecode timecode[ Label label] #", the full line sent
// on connect; fade and timecode fall back to "0" and "00:00:00:00".
std::optional<std::string> fullCueLine(std::int64_t list, std::string_view cue, std::optional<std::string> fade,
                                       std::optional<std::string> timecode, std::optional<std::string> label);
// "/eos/get/cue/L/C"
std::optional<std::string> cueQueryAddress(std::int64_t list, std::string_view cue);

// The cue text as it may appear in a line: trimmed, absent when blank or when
// it holds "#" or a blank (either would let the text add words of its own).
std::optional<std::string> usableCueText(std::string_view cue);
// The label with its ends trimmed and every "#" removed.
std::string sanitizedLabel(std::string_view label);

// True when the trimmed text reads completely as a number equal to 0 (0, 0.0, 00, -0).
bool isZeroCue(std::string_view cue);

// The fade, or "fade / fadeOut" when a fade-out other than -1 is given;
// absent without a fade, or when either text holds a blank.
std::optional<std::string> fadeTimeText(std::optional<std::string_view> fade,
                                        std::optional<std::string_view> fadeOut);
// The timecode of a non-negative position plus the offset; absent when the
// position does not read as such a number.
std::optional<std::string> timecodeText(std::optional<std::string_view> position, double offsetSeconds);
// "HH:MM:SS:FF" at 30 frames per second, frames rounded half away from zero,
// hours unwrapped; absent for negative, not-a-number, infinite or
// out-of-range values.
std::optional<std::string> formatTimecode(double seconds);

}  // namespace lanternwick
