#pragma once
// How texts from the marker file read on the console. The console receives
// every text after the OSC layer's ASCII conversion, so a text is judged in
// that form (its wire form), never in the UTF-8 the file holds: a fullwidth
// number sign becomes "#", a vulgar fraction "1/2". A cue number is digits
// with at most one decimal fraction; a time is digits with up to two
// ":"-separated groups before them and at most one decimal fraction.
// Anything else would be read as keywords of its own. Both are at most
// numberTextLimit characters: no console number is longer, and a file with
// megabytes of digits must not become a line that cannot be sent. Pure; any
// thread.

#include <string>
#include <string_view>

namespace lanternwick {

inline constexpr std::size_t numberTextLimit = 32;

// Trimmed, converted to printable ASCII, trimmed again.
std::string wireForm(std::string_view text);

// "12", "12.5", "0.25"; not "", "-1", ".5", "5.", "1e3", "5/6".
bool isConsoleCueNumber(std::string_view wire);
// "3", "2.5", "1:30", "0:01:30.5"; not "", "1:2:3:4", "3s", "-1".
bool isConsoleTime(std::string_view wire);

// Which console cue a cue text addresses: the number without leading zeros
// or trailing fraction zeros ("03.50" -> "3.5", "3.0" -> "3") when the wire
// form is a cue number, the wire form itself otherwise.
std::string consoleCueIdentity(std::string_view cue);

}  // namespace lanternwick
