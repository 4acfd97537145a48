#pragma once
// Helpers for writing golden byte strings in tests: hex with optional
// spaces, and ASCII text with explicit zero bytes.

#include <cstdint>
#include <string>
#include <string_view>

#include "osc/OSCBytes.h"

namespace lanternwick::testing {

inline OSCBytes hex(std::string_view text) {
    OSCBytes bytes;
    int high = -1;
    for (const char c : text) {
        int nibble = -1;
        if (c >= '0' && c <= '9') nibble = c - '0';
        else if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
        else continue;
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + nibble));
            high = -1;
        }
    }
    return bytes;
}

inline OSCBytes ascii(std::string_view text) { return OSCBytes(text.begin(), text.end()); }

inline OSCBytes operator+(OSCBytes a, const OSCBytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline OSCBytes zeros(std::size_t n) { return OSCBytes(n, 0); }

}  // namespace lanternwick::testing
