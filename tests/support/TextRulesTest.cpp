#include "support/Regex.h"
#include "support/TextRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lanternwick {
namespace {

TEST(TextRules, TrimRemovesUnicodeWhiteSpaceAndLineEndsOnly) {
    EXPECT_EQ(trimmed(" \t\r\n\v\f a b \n"), "a b");
    // NO-BREAK SPACE, NEL, LINE SEPARATOR, IDEOGRAPHIC SPACE.
    EXPECT_EQ(trimmed("\u00A0\u0085x\u2028\u3000"), "x");
    EXPECT_EQ(trimmed(" \u2029 "), "");
    // ZERO WIDTH SPACE is not white space, and a combining mark stays.
    EXPECT_EQ(trimmed("\u200Bx"), "\u200Bx");
    EXPECT_EQ(trimmed("e\u0301 "), "e\u0301");
    for (const char* text : {"", " \t\r\n", " \u2029\u3000 ", " \u200B ", " x", "\xFF"}) {
        EXPECT_EQ(isBlank(text), trimmed(text).empty()) << text;
    }
}

TEST(TextRules, EqualityIsCanonicalWithoutCaseFolding) {
    EXPECT_TRUE(canonicallyEqual("caf\u00E9", "cafe\u0301"));
    EXPECT_TRUE(canonicallyEqual("\u212B", "\u00C5"));  // ANGSTROM SIGN is canonically A-ring
    EXPECT_FALSE(canonicallyEqual("Cue", "cue"));
    EXPECT_FALSE(canonicallyEqual("caf\u00E9", "cafe"));
    // Compatibility equivalents are not canonical ones.
    EXPECT_FALSE(canonicallyEqual("\uFB01", "fi"));
}

TEST(TextRules, NumberRuleConsumesWholeText) {
    for (const auto& [text, value] : {std::pair{"12.5", 12.5}, {"1e3", 1000.0}, {"-0.25", -0.25}, {"+2", 2.0}, {".5", 0.5}}) {
        EXPECT_EQ(parseNumber(text), value) << text;
    }
    for (const char* rejected : {"", " 12.5", "12.5 ", "\t1", "1,5", "12a", "1e", "abc", "0x10", "inf", "nan", "1e999", "-1e999"}) {
        EXPECT_FALSE(parseNumber(rejected).has_value()) << rejected;
    }
    EXPECT_FALSE(parseNumber(std::string_view("1\0", 2)).has_value());
    EXPECT_FALSE(parseNumber(std::string_view("\0" "1", 2)).has_value());
}

TEST(TextRules, LinesSplitAtEachLineEndCharacterSeparately) {
    EXPECT_EQ(splitLines(""), (std::vector<std::string_view>{""}));
    EXPECT_EQ(splitLines("a\r\nb"), (std::vector<std::string_view>{"a", "", "b"}));
    EXPECT_EQ(splitLines("a\n"), (std::vector<std::string_view>{"a", ""}));
    EXPECT_EQ(splitLines("1\v2\f3\r4\u00855\u20286\u20297"),
              (std::vector<std::string_view>{"1", "2", "3", "4", "5", "6", "7"}));
    // Other characters sharing those lead bytes are no line ends.
    EXPECT_EQ(splitLines("\u00A9\u2027\u202A").size(), 1u);
}

// The word-at-a-time scans against a byte-by-byte reading, for every byte
// value and every line end at every position of texts of up to three words.
TEST(TextRules, WordScansAgreeWithBytewiseReading) {
    for (std::size_t length : {1u, 7u, 8u, 9u, 16u, 17u, 23u}) {
        for (std::size_t at = 0; at < length; ++at) {
            for (int value = 0; value < 256; ++value) {
                std::string text(length, 'a');
                text[at] = static_cast<char>(value);
                EXPECT_EQ(isASCII(text), value < 0x80) << length << " " << at << " " << value;
                EXPECT_EQ(splitLines(text).size(), value >= 0x0A && value <= 0x0D ? 2u : 1u)
                    << length << " " << at << " " << value;
            }
            for (const std::string_view end : {"\u0085", "\u2028", "\u2029", "\r\n"}) {
                std::string text(length, 'a');
                text.insert(at, end);
                const auto lines = splitLines(text);
                ASSERT_EQ(lines.size(), end == "\r\n" ? 3u : 2u) << length << " " << at;
                EXPECT_EQ(lines.front().size(), at);
                EXPECT_EQ(lines.back().size(), length - at);
                EXPECT_EQ(graphemeCount(text), static_cast<std::int64_t>(length + 1));
            }
        }
    }
}

TEST(TextRules, DecodingReplacesIllFormedSequences) {
    EXPECT_EQ(decodeUTF8("plain"), "plain");
    EXPECT_EQ(decodeUTF8("caf\xC3\xA9"), "caf\u00E9");
    EXPECT_EQ(decodeUTF8("a\xFF" "b"), "a\uFFFD" "b");
    EXPECT_EQ(decodeUTF8("\xC3"), "\uFFFD");              // truncated at the end
    EXPECT_EQ(decodeUTF8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(decodeUTF8("\xE2\x82x"), "\uFFFDx");        // one maximal subpart
}

TEST(TextRules, CappedTextKeepsWholeCharactersAndCountsWhatItLeavesOut) {
    EXPECT_EQ(cappedText("abcdef", 6), "abcdef");
    EXPECT_EQ(cappedText("abcdefg", 6), "abcdef\u2026 (1 more bytes)");
    // "é" is two bytes: a cut inside it moves before it.
    EXPECT_EQ(cappedText("abcd\u00e9f", 5), "abcd\u2026 (3 more bytes)");
    EXPECT_EQ(cappedText(std::string(10000, 'x')).size(), keptTextLimit + std::string("\u2026 (5904 more bytes)").size());
}

// Every way of cutting a text into two or three pieces gives the text capped whole.
TEST(TextRules, CappedTextBuilderGivesTheCapOfTheWholeTextFromItsPieces) {
    for (const std::string text : {"abcdef", "abcd\u00e9f", "ab\u20acdefgh", "abcdefg"}) {
        for (std::size_t a = 0; a <= text.size(); ++a) {
            for (std::size_t b = a; b <= text.size(); ++b) {
                CappedTextBuilder built(5);
                built.append(text.substr(0, a));
                built.append(text.substr(a, b - a));
                built.append(text.substr(b));
                EXPECT_EQ(built.size(), text.size());
                EXPECT_EQ(built.text(), cappedText(text, 5)) << text << " cut at " << a << ", " << b;
            }
        }
    }
}

TEST(Regex, FirstCaptureUsesIcuSemantics) {
    // \s covers line ends and Unicode spaces.
    EXPECT_EQ(firstCapture("(?:^|\\s)([0-9]{1,3})/\\s", "Main\u20282/\u00A0x"), "2");
    EXPECT_EQ(firstCapture("\\bb(\\w+)", "ab bcd"), "cd");
    EXPECT_FALSE(firstCapture("(x)|(y)", "y").has_value());  // group 1 took no part
    EXPECT_FALSE(firstCapture("nogroup", "nogroup").has_value());
    EXPECT_FALSE(firstCapture("(unclosed", "unclosed").has_value());
    EXPECT_FALSE(firstCapture("(a)", "b").has_value());
    EXPECT_EQ(firstCapture("(\u00E9+)", "caf\u00E9\u00E9!"), "\u00E9\u00E9");
}

TEST(Regex, QuadraticBacktrackingStopsInsteadOfHanging) {
    // Every "a" after a "." starts a name run that scans to the end of the text.
    std::string run;
    for (int i = 0; i < 200000; ++i) run += "a.";
    EXPECT_TRUE(allCaptures("\\b([A-Za-z_][A-Za-z0-9_.:-]*)\\s*=\\s*[\"'][^\"']*[\"']", run).empty());
    // Ordinary matches over a large text are unaffected.
    std::string attributes;
    for (int i = 0; i < 100000; ++i) attributes += "<M k=\"v\" n='w'/>\n";
    EXPECT_EQ(allCaptures("\\b([A-Za-z_][A-Za-z0-9_.:-]*)\\s*=\\s*[\"'][^\"']*[\"']", attributes).size(), 200000u);
}

}  // namespace
}  // namespace lanternwick
