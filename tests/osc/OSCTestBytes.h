#pragma once
// Helpers for writing golden byte strings in tests: hex with optional
// spaces, and ASCII text with explicit zero bytes.

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "osc/OSCBytes.h"

namespace lanternwick::testing {

inline OSCBytes hex(std::string_view text) {
    std::string digits;
    for (const char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits += c;
        }
    }
    OSCBytes bytes;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
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
