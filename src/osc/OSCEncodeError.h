#pragma once
// OSCEncodeError: why a packet could not be turned into bytes. Only values
// beyond what the wire can carry (a blob or bundle element over 2^31 - 1
// bytes, a number outside its tag's range) produce one. A plain value.

#include <string>

namespace lanternwick {

struct OSCEncodeError {
    enum class Kind { general, valueEncodingError, internalInconsistency };

    Kind kind = Kind::general;
    std::string text;

    static OSCEncodeError general(std::string text) { return {Kind::general, std::move(text)}; }
    static OSCEncodeError valueEncodingError(std::string text) {
        return {Kind::valueEncodingError, std::move(text)};
    }
    static OSCEncodeError internalInconsistency(std::string text) {
        return {Kind::internalInconsistency, std::move(text)};
    }

    std::string description() const {
        switch (kind) {
        case Kind::general: return "Encoding error: " + text;
        case Kind::valueEncodingError: return "OSC value encoding error: " + text;
        case Kind::internalInconsistency: return "Internal inconsistency: " + text;
        }
        return text;
    }

    friend bool operator==(const OSCEncodeError&, const OSCEncodeError&) = default;
};

}  // namespace lanternwick
