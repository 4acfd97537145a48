#pragma once
// Text rules shared by every layer: trimming, canonical equality, the number
// rule, the line split, the "(empty)" display and UTF-8 decoding. All texts are
// UTF-8 std::strings; ICU provides the Unicode semantics behind these helpers.
// Pure functions, callable from any thread. Inputs are expected to be valid
// UTF-8 (decodeUTF8 produces that from arbitrary bytes).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lanternwick {

// Every byte below 0x80.
bool isASCII(std::string_view text);

// Removes Unicode white space, line ends included, at both ends.
std::string trimmed(std::string_view text);

// Nothing but Unicode white space: trimmed(text) would be empty, without
// building it.
bool isBlank(std::string_view text);

// Equal under canonical equivalence (NFC); no case folding.
bool canonicallyEqual(std::string_view a, std::string_view b);

// The NFC form, for keys that must treat canonically equivalent texts alike.
std::string canonicalForm(std::string_view text);

// A decimal floating-point number in the C locale, whatever the process locale
// is. Absent when the text is empty, starts with white space or NUL, or has
// anything left over after the number. Exponents are accepted.
std::optional<double> parseNumber(std::string_view text);

// Splits at each of LF, VT, FF, CR, U+0085, U+2028 and U+2029 on its own, so
// CR LF leaves an empty line between them. The empty text is one line. The
// views point into `text`.
std::vector<std::string_view> splitLines(std::string_view text);

// The trimmed text, or "(empty)" when nothing is left.
std::string displayValue(std::string_view text);

// Number of user-perceived characters (extended grapheme clusters).
std::int64_t graphemeCount(std::string_view text);

// Decodes bytes as UTF-8, replacing each ill-formed sequence with U+FFFD.
std::string decodeUTF8(std::string_view bytes);

// How much of one text a kept record holds (an action's value, an event's
// details, a reply's values): enough to read, never the whole of a hostile
// megabyte.
inline constexpr std::size_t keptTextLimit = 4096;

// The text when it has at most `limit` bytes; otherwise its first bytes up
// to `limit` (cut before a UTF-8 sequence, never inside one) followed by
// "… (N more bytes)", N counting what was left out.
std::string cappedText(std::string_view text, std::size_t limit = keptTextLimit);

// cappedText of a text given in pieces, holding no more than limit + 1 bytes
// of it however long it grows: for texts rendered from input that may be
// many times their wire size.
class CappedTextBuilder {
public:
    explicit CappedTextBuilder(std::size_t limit = keptTextLimit) : limit_(limit) {}

    void append(std::string_view piece);
    // Of the whole text, counting what is not held.
    std::size_t size() const { return size_; }
    // cappedText(the whole text, limit).
    std::string text() const;

private:
    std::size_t limit_;
    std::size_t size_ = 0;
    std::string head_;
};

}  // namespace lanternwick
