#include "osc/ASCIIString.h"

#include <unicode/unistr.h>

#include "support/TextRules.h"

namespace lanternwick {

ASCIIString ASCIIString::fromText(std::string_view text) {
    std::string converted = convertToPrintableASCII(text);
    std::string raw = converted;
    return ASCIIString{std::move(converted), std::move(raw)};
}

std::optional<ASCIIString> ASCIIString::fromBytes(OSCByteView bytes) {
    std::string text(bytes.begin(), bytes.end());
    if (!isASCII(text)) {
        return std::nullopt;
    }
    std::string raw = text;
    return ASCIIString{std::move(text), std::move(raw)};
}

ASCIICharacter ASCIICharacter::fromCharacter(std::string_view character) {
    if (character == "\r\n") {
        return ASCIICharacter{U'\n', 10};
    }
    if (character.size() == 1 && static_cast<unsigned char>(character[0]) < 0x80) {
        const auto code = static_cast<std::uint8_t>(character[0]);
        return ASCIICharacter{code, code};
    }
    if (const auto converted = latinASCIICharacter(character)) {
        const auto code = static_cast<std::uint8_t>(*converted);
        return ASCIICharacter{code, code};
    }
    return ASCIICharacter{U'?', 63};
}

ASCIICharacter ASCIICharacter::fromCharacter(char32_t character) {
    if (character < 0x80) {
        const auto code = static_cast<std::uint8_t>(character);
        return ASCIICharacter{code, code};
    }
    std::string utf8;
    icu::UnicodeString(static_cast<UChar32>(character)).toUTF8String(utf8);
    return fromCharacter(std::string_view(utf8));
}

std::optional<ASCIICharacter> ASCIICharacter::fromCode(std::uint32_t code) {
    if (code > 127) {
        return std::nullopt;
    }
    return ASCIICharacter{static_cast<char32_t>(code), static_cast<std::uint8_t>(code)};
}

}  // namespace lanternwick
