#include "app/PortFieldFilter.h"

#include <gtest/gtest.h>

namespace lanternwick {
namespace {

PortFieldDecision replaceWith(const QString& text) { return {.replacementText = text, .port = std::nullopt}; }
PortFieldDecision assign(std::uint16_t port) { return {.replacementText = std::nullopt, .port = port}; }
const PortFieldDecision leaveAlone{};

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

TEST(PortFieldFilter, KeepsOrDropsAWholeUserPerceivedCharacter) {
    // A digit with a combining mark is one character that starts with a
    // number: kept whole, and then not a valid ASCII port.
    EXPECT_EQ(filterPortText(u"8\u0301"), leaveAlone);
    // A letter with a combining mark goes entirely.
    EXPECT_EQ(filterPortText(u"8e\u0301"), replaceWith("8"));
}

}  // namespace
}  // namespace lanternwick
