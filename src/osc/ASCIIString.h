#pragma once
// ASCIICharacter and ASCIIString: text that is guaranteed to be ASCII, as
// every address pattern, string argument and type tag is on the wire.
// Plain values, freely copied and shared between threads. Conversion of
// non-ASCII text is support/LatinASCII's.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "osc/OSCBytes.h"
#include "support/LatinASCII.h"

namespace lanternwick {

struct ASCIICharacter {
    char32_t characterValue = U'?';
    std::uint8_t asciiValue = 63;

    // Any character: CR LF becomes line feed, ASCII stays, anything else is
    // transliterated and its first ASCII character kept, else "?".
    // `character` is one user-perceived character in UTF-8.
    static ASCIICharacter fromCharacter(std::string_view character);
    static ASCIICharacter fromCharacter(char32_t character);
    // Valid for codes 0 to 127 only.
    static std::optional<ASCIICharacter> fromCode(std::uint32_t code);

    friend bool operator==(const ASCIICharacter&, const ASCIICharacter&) = default;
};

struct ASCIIString {
    std::string stringValue;
    // The ASCII bytes, no terminator. Always equal to stringValue's bytes;
    // kept as its own field so that callers can read the wire form directly.
    std::string rawData;

    // Converts arbitrary UTF-8 text: transliteration, then every character
    // outside space..tilde becomes "?". Never fails.
    static ASCIIString fromText(std::string_view text);
    // Reads wire bytes: nothing when a byte is above 0x7F.
    static std::optional<ASCIIString> fromBytes(OSCByteView bytes);

    friend bool operator==(const ASCIIString&, const ASCIIString&) = default;
};


}  // namespace lanternwick
