#pragma once
// The conversion every text goes through on its way to the console: ICU's
// "Latin-ASCII" transliteration, then each character outside space..tilde
// becomes "?". It lives here, below both the OSC layer that applies it and
// the code that must judge a text in the form the console will read it.
// One shared transliterator serves the process (created on first need, used
// under a lock); printable-ASCII text never reaches ICU. Any thread.

#include <optional>
#include <string>
#include <string_view>

namespace lanternwick {

// Transliterates, then turns every character outside space..tilde into "?".
// Never fails.
std::string convertToPrintableASCII(std::string_view text);
// True when every byte is in space..tilde (the fast path that skips ICU).
bool isPrintableASCII(std::string_view text);
// The first character of the transliteration of one user-perceived character
// (UTF-8), when it is ASCII.
std::optional<char> latinASCIICharacter(std::string_view character);

}  // namespace lanternwick
