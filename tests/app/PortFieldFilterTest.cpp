#include "app/PortFieldFilter.h"

#include <gtest/gtest.h>

namespace lanternwick {
namespace {

PortFieldDecision replaceWith(const QString& text) { return {.replacementText = text, .port = std::nullopt}; }
PortFieldDecision assign(std::uint16_t port) { return {.replacementText = std::nullopt, .port = port}; }
const PortFieldDecision leaveAlone{};

// Runs the filter the way the field does: a replacement feeds the filter
// again, until it settles.
std::pair<QString, std::optional<std::uint16_t>> settle(QString text) {
    for (int round = 0; round < 4; ++round) {
        const auto decision = filterPortText(text);
        if (!decision.replacementText) {
            return {text, decision.port};
        }
        text = *decision.replacementText;
    }
    ADD_FAILURE() << "filter did not settle";
    return {text, std::nullopt};
}

TEST(PortFieldFilter, DropsEverythingButNumbersAndRunsAgain) {
    EXPECT_EQ(filterPortText(u"80a"), replaceWith("80"));
    EXPECT_EQ(filterPortText(u" 30 37 "), replaceWith("3037"));
    EXPECT_EQ(filterPortText(u"-1"), replaceWith("1"));
    EXPECT_EQ(filterPortText(u"+8,555.0"), replaceWith("85550"));
    EXPECT_EQ(filterPortText(u"abc"), replaceWith(""));
    EXPECT_EQ(filterPortText(u"80\t\n"), replaceWith("80"));
}

TEST(PortFieldFilter, AssignsASCIIDecimalPortsOnly) {
    EXPECT_EQ(filterPortText(u"80"), assign(80));
    EXPECT_EQ(filterPortText(u"3037"), assign(3037));
    EXPECT_EQ(filterPortText(u"65535"), assign(65535));
    EXPECT_EQ(filterPortText(u"1"), assign(1));
    EXPECT_EQ(filterPortText(u"0080"), assign(80));
}

TEST(PortFieldFilter, NeverAssignsZeroOrValuesAbove65535) {
    EXPECT_EQ(filterPortText(u"0"), leaveAlone);
    EXPECT_EQ(filterPortText(u"000"), leaveAlone);
    EXPECT_EQ(filterPortText(u"65536"), leaveAlone);
    EXPECT_EQ(filterPortText(u"70000"), leaveAlone);
    EXPECT_EQ(filterPortText(u"99999999999999999999"), leaveAlone);
    EXPECT_EQ(filterPortText(u""), leaveAlone);
}

TEST(PortFieldFilter, KeepsDigitsOfOtherScriptsWithoutParsingThem) {
    // Arabic-Indic 8 and 0, Devanagari 5, fullwidth 1: numbers, but not ASCII.
    EXPECT_EQ(filterPortText(u"\u0668\u0660"), leaveAlone);
    EXPECT_EQ(filterPortText(u"8\u096B"), leaveAlone);
    EXPECT_EQ(filterPortText(u"\uFF11"), leaveAlone);
    EXPECT_EQ(filterPortText(u"x\u0668"), replaceWith(QStringLiteral("\u0668")));
    // Other number characters (a vulgar fraction, a Roman numeral) stay too.
    EXPECT_EQ(filterPortText(u"\u00BD"), leaveAlone);
    EXPECT_EQ(filterPortText(u"\u2163"), leaveAlone);
}

TEST(PortFieldFilter, JudgesCharactersOutsideTheBasicPlane) {
    // Mathematical bold digit one (a number) and an emoji (not one), each a
    // surrogate pair in UTF-16.
    EXPECT_EQ(filterPortText(u"\U0001D7CF"), leaveAlone);
    EXPECT_EQ(filterPortText(u"8\U0001F600"), replaceWith("8"));
}

TEST(PortFieldFilter, KeepsOrDropsAWholeUserPerceivedCharacter) {
    // A digit with a combining mark is one character that starts with a
    // number: kept whole, and then not a valid ASCII port.
    EXPECT_EQ(filterPortText(u"8\u0301"), leaveAlone);
    // A letter with a combining mark goes entirely.
    EXPECT_EQ(filterPortText(u"8e\u0301"), replaceWith("8"));
}

TEST(PortFieldFilter, SettlesOnWhatTheFieldShows) {
    EXPECT_EQ(settle("8a0"), std::pair(QString("80"), std::optional<std::uint16_t>(80)));
    EXPECT_EQ(settle(" 30 37 "), std::pair(QString("3037"), std::optional<std::uint16_t>(3037)));
    EXPECT_EQ(settle("port 0"), std::pair(QString("0"), std::optional<std::uint16_t>()));
    EXPECT_EQ(settle("70 000"), std::pair(QString("70000"), std::optional<std::uint16_t>()));
}

TEST(PortFieldFilter, ShowsPortsInPlainDecimal) {
    EXPECT_EQ(portFieldText(8555), "8555");
    EXPECT_EQ(portFieldText(65535), "65535");
    EXPECT_EQ(portFieldText(1), "1");
}

}  // namespace
}  // namespace lanternwick
