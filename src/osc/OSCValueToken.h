#pragma once
// OSCValueToken and NumberEndianness: plain enumerations. A token names the
// kind of value a caller expects (each core kind reports one); the
// endianness selects the byte order of number readers and writers, and the
// OSC layer always uses bigEndian.

#include <string_view>

namespace lanternwick {

enum class OSCValueToken {
    blob, float32, int32, string, array, boolean, character, float64, int64, impulse, midi, null,
    stringAlt, timeTag, number, numberOrBool,
    blobOptional, float32Optional, int32Optional, stringOptional, arrayOptional, boolOptional,
    characterOptional, doubleOptional, int64Optional, impulseOptional, midiOptional, nullOptional,
    stringAltOptional, timeTagOptional, numberOptional, numberOrBoolOptional,
};

// The token's own name: "bool" and "double" are C++ keywords, so those two
// cases are spelled `boolean` and `float64` in code.
std::string_view tokenName(OSCValueToken token);

enum class NumberEndianness { platformDefault, littleEndian, bigEndian };

}  // namespace lanternwick
