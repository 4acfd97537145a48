#pragma once
// OSCDecodeError: the first problem found in a received packet. Decoding
// stops at it; nothing decoded before it is kept. For `unexpectedType` the
// text is the offending tag character. A plain value.

#include <string>

namespace lanternwick {

// Which bytes a string argument may carry. What we write is ASCII, and a
// reader of our bytes holds us to that. A console's strings are whatever was
// typed on it, so its replies are read with any byte but NUL, kept as they
// came; whoever shows them makes them valid UTF-8. A message read that way
// would re-send those bytes as they came: it is for reading, not passing on.
// Addresses and type tags are ASCII either way.
enum class OSCStringBytes { ascii, anyButNul };

struct OSCDecodeError {
    enum class Kind { malformed, unexpectedType, valueDecodingError, internalInconsistency };

    Kind kind = Kind::malformed;
    std::string text;

    static OSCDecodeError malformed(std::string text) { return {Kind::malformed, std::move(text)}; }
    static OSCDecodeError unexpectedType(char tag) { return {Kind::unexpectedType, std::string(1, tag)}; }
    static OSCDecodeError valueDecodingError(std::string text) {
        return {Kind::valueDecodingError, std::move(text)};
    }
    static OSCDecodeError internalInconsistency(std::string text) {
        return {Kind::internalInconsistency, std::move(text)};
    }

    std::string description() const {
        switch (kind) {
        case Kind::malformed: return "Malformed data: " + text;
        case Kind::unexpectedType: return "Unexpected OSC Type Tag: " + text;
        case Kind::valueDecodingError: return "OSC value decoding error: " + text;
        case Kind::internalInconsistency: return "Internal inconsistency: " + text;
        }
        return text;
    }

    friend bool operator==(const OSCDecodeError&, const OSCDecodeError&) = default;
};

}  // namespace lanternwick
