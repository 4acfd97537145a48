#include "markers/ConsoleCue.h"

#include "support/LatinASCII.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Consumes one run of digits; false when there is none.
bool takeDigits(std::string_view& text) {
    std::size_t length = 0;
    while (length < text.size() && isDigit(text[length])) ++length;
    text.remove_prefix(length);
    return length > 0;
}

// Digits, then optionally "." and digits; the whole text.
bool isDecimal(std::string_view text) {
    if (!takeDigits(text)) return false;
    if (text.empty()) return true;
    if (text.front() != '.') return false;
    text.remove_prefix(1);
    return takeDigits(text) && text.empty();
}

}  // namespace

std::string wireForm(std::string_view text) { return trimmed(convertToPrintableASCII(trimmed(text))); }

bool isConsoleCueNumber(std::string_view wire) { return wire.size() <= numberTextLimit && isDecimal(wire); }

bool isConsoleTime(std::string_view wire) {
    if (wire.size() > numberTextLimit) return false;
    for (int group = 0; group < 2; ++group) {
        const std::size_t colon = wire.find(':');
        if (colon == std::string_view::npos) break;
        std::string_view digits = wire.substr(0, colon);
        if (!takeDigits(digits) || !digits.empty()) return false;
        wire.remove_prefix(colon + 1);
    }
    return isDecimal(wire);
}

std::string consoleCueIdentity(std::string_view cue) {
    std::string wire = wireForm(cue);
    if (!isConsoleCueNumber(wire)) return wire;
    const std::size_t dot = wire.find('.');
    std::string_view whole = std::string_view(wire).substr(0, dot);
    std::string_view fraction = dot == std::string::npos ? std::string_view{} : std::string_view(wire).substr(dot + 1);
    while (whole.size() > 1 && whole.front() == '0') whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    std::string identity(whole);
    if (!fraction.empty()) {
        identity += '.';
        identity += fraction;
    }
    return identity;
}

}  // namespace lanternwick
