#include "support/TextRules.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace lanternwick {
namespace {

constexpr std::uint64_t everyByte(std::uint8_t value) { return 0x0101010101010101ull * value; }

std::uint64_t wordAt(const char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// True when some byte of the word is below `limit` (at most 0x80).
constexpr bool hasByteBelow(std::uint64_t word, std::uint8_t limit) {
    return ((word - everyByte(limit)) & ~word & everyByte(0x80)) != 0;
}

// Closing a UText must not be forgotten on any path.
struct UTextCloser {
    void operator()(UText* text) const { utext_close(text); }
};
using UTextPtr = std::unique_ptr<UText, UTextCloser>;

}  // namespace

bool isASCII(std::string_view text) {
    // Eight bytes at a time: marker files are mostly ASCII and large.
    const char* bytes = text.data();
    std::size_t i = 0;
    std::uint64_t high = 0;
    for (; i + 8 <= text.size(); i += 8) high |= wordAt(bytes + i);
    for (; i < text.size(); ++i) high |= static_cast<unsigned char>(bytes[i]);
    return (high & everyByte(0x80)) == 0;
}

namespace {

// Where the leading Unicode white space ends.
std::int64_t leadingWhiteSpaceEnd(std::string_view text) {
    const char* bytes = text.data();
    const auto length = static_cast<std::int64_t>(text.size());
    std::int64_t begin = 0;
    while (begin < length) {
        std::int64_t next = begin;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        begin = next;
    }
    return begin;
}

}  // namespace

bool isBlank(std::string_view text) {
    return leadingWhiteSpaceEnd(text) == static_cast<std::int64_t>(text.size());
}

std::string trimmed(std::string_view text) {
    const char* bytes = text.data();
    const auto length = static_cast<std::int64_t>(text.size());
    const std::int64_t begin = leadingWhiteSpaceEnd(text);
    std::int64_t end = length;
    while (end > begin) {
        // Step back to the lead byte, then decode forwards: ICU's backward
        // macro takes 32-bit offsets only.
        std::int64_t previous = end - 1;
        while (previous > begin && end - previous < 4 && (static_cast<unsigned char>(bytes[previous]) & 0xC0) == 0x80) {
            --previous;
        }
        std::int64_t next = previous;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || next != end || !u_isUWhiteSpace(c)) break;
        end = previous;
    }
    return std::string(text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    // Canonical equivalence never relates two different ASCII texts.
    if (isASCII(a) && isASCII(b)) return false;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return false;
    const icu::UnicodeString left = nfc->normalize(icu::UnicodeString::fromUTF8(a), status);
    const icu::UnicodeString right = nfc->normalize(icu::UnicodeString::fromUTF8(b), status);
    return U_SUCCESS(status) && left == right;
}

std::string canonicalForm(std::string_view text) {
    if (isASCII(text)) return std::string(text);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::string(text);
    const icu::UnicodeString normalized = nfc->normalize(icu::UnicodeString::fromUTF8(text), status);
    if (U_FAILURE(status)) return std::string(text);
    std::string out;
    normalized.toUTF8String(out);
    return out;
}

std::optional<double> parseNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    switch (text.front()) {
        case ' ': case '\t': case '\n': case '\v': case '\f': case '\r': case '\0':
            return std::nullopt;
        default:
            break;
    }
    // Only decimal forms: hexadecimal, infinity and NaN would let a marker
    // carry a value that never compares equal to itself.
    for (const char c : text) {
        const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
        if (!allowed) return std::nullopt;
    }
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string terminated(text);
    char* end = nullptr;
    const double value = strtod_l(terminated.c_str(), &end, cLocale);
    if (end != terminated.c_str() + terminated.size()) return std::nullopt;
    // "1e999" overflows to infinity, which the diff would see as a change
    // against the very same text.
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    const char* bytes = text.data();
    const std::size_t size = text.size();
    std::size_t lineStart = 0;
    std::size_t i = 0;
    while (i < size) {
        // Skip whole words that hold neither a control byte below 0x0E nor a
        // byte that could begin U+0085, U+2028 or U+2029.
        if (i + 8 <= size) {
            const std::uint64_t word = wordAt(bytes + i);
            if (!hasByteBelow(word, 0x0E) && (word & everyByte(0x80)) == 0) {
                i += 8;
                continue;
            }
        }
        const auto byte = static_cast<unsigned char>(bytes[i]);
        std::size_t endLength = 0;
        if (byte >= 0x0A && byte <= 0x0D) {
            endLength = 1;
        } else if (byte == 0xC2 && i + 1 < size && static_cast<unsigned char>(bytes[i + 1]) == 0x85) {
            endLength = 2;
        } else if (byte == 0xE2 && i + 2 < size && static_cast<unsigned char>(bytes[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(bytes[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(bytes[i + 2]) == 0xA9)) {
            endLength = 3;
        }
        if (endLength == 0) {
            ++i;
            continue;
        }
        lines.push_back(text.substr(lineStart, i - lineStart));
        i += endLength;
        lineStart = i;
    }
    lines.push_back(text.substr(lineStart));
    return lines;
}

std::string displayValue(std::string_view text) {
    std::string value = trimmed(text);
    if (value.empty()) return "(empty)";
    return value;
}

std::int64_t graphemeCount(std::string_view text) {
    if (isASCII(text)) {
        // In ASCII the only multi-character cluster is CR LF.
        std::int64_t count = static_cast<std::int64_t>(text.size());
        for (std::size_t cr = text.find('\r'); cr != std::string_view::npos; cr = text.find('\r', cr + 1)) {
            if (cr + 1 < text.size() && text[cr + 1] == '\n') --count;
        }
        return count;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> breaks(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    UTextPtr utext(utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status));
    if (U_FAILURE(status)) return 0;
    breaks->setText(utext.get(), status);
    if (U_FAILURE(status)) return 0;
    std::int64_t count = 0;
    breaks->first();
    while (breaks->next() != icu::BreakIterator::DONE) ++count;
    return count;
}

std::string decodeUTF8(std::string_view bytes) {
    if (isASCII(bytes)) return std::string(bytes);
    std::string text;
    text.reserve(bytes.size());
    const char* data = bytes.data();
    const auto length = static_cast<std::int64_t>(bytes.size());
    std::int64_t i = 0;
    while (i < length) {
        const std::int64_t start = i;
        UChar32 c = 0;
        U8_NEXT(data, i, length, c);
        if (c < 0) {
            text += "\xEF\xBF\xBD";
        } else {
            text.append(data + start, static_cast<std::size_t>(i - start));
        }
    }
    return text;
}

namespace {

// `head` holds at least the first limit + 1 bytes of a text of `size` bytes.
std::string cappedHead(std::string_view head, std::size_t size, std::size_t limit) {
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(head[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    std::string capped(head.substr(0, cut));
    capped += "\xE2\x80\xA6 (";  // …
    capped += std::to_string(size - cut);
    capped += " more bytes)";
    return capped;
}

}  // namespace

std::string cappedText(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return std::string(text);
    }
    return cappedHead(text, text.size(), limit);
}

void CappedTextBuilder::append(std::string_view piece) {
    size_ += piece.size();
    if (head_.size() <= limit_) {
        head_.append(piece.substr(0, limit_ + 1 - head_.size()));
    }
}

std::string CappedTextBuilder::text() const {
    if (size_ <= limit_) {
        return head_;
    }
    return cappedHead(head_, size_, limit_);
}

}  // namespace lanternwick
