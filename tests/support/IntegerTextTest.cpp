#include "support/IntegerText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace lanternwick {
namespace {

TEST(IntegerText, ReadsTheWholeTextWithOneSignInRangeOrNothing) {
    struct Case {
        std::string_view text;
        std::optional<std::int64_t> refusingPlus;
        std::optional<std::int64_t> allowingPlus;
    };
    const Case cases[] = {
        {"0", 0, 0},
        {"42", 42, 42},
        {"-7", -7, -7},
        {"007", 7, 7},
        {"+5", std::nullopt, 5},
        {"+-1", std::nullopt, std::nullopt},
        {"++1", std::nullopt, std::nullopt},
        {"--1", std::nullopt, std::nullopt},
        {"+", std::nullopt, std::nullopt},
        {"-", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {" 1", std::nullopt, std::nullopt},
        {"1 ", std::nullopt, std::nullopt},
        {"1.0", std::nullopt, std::nullopt},
        {"0x10", std::nullopt, std::nullopt},
        {"1e3", std::nullopt, std::nullopt},
        {"\xD9\xA3", std::nullopt, std::nullopt},  // ARABIC-INDIC DIGIT THREE
        {"9223372036854775807", INT64_MAX, INT64_MAX},
        {"-9223372036854775808", INT64_MIN, INT64_MIN},
        {"9223372036854775808", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseInteger(c.text), c.refusingPlus);
        EXPECT_EQ(parseInteger(c.text, PlusSign::allowed), c.allowingPlus);
    }
    // The range is the requested type's, and unsigned types take no minus.
    EXPECT_EQ(parseInteger<std::uint16_t>("65535"), 65535);
    EXPECT_EQ(parseInteger<std::uint16_t>("65536"), std::nullopt);
    EXPECT_EQ(parseInteger<std::uint16_t>("-1"), std::nullopt);
    EXPECT_EQ(parseInteger<std::uint16_t>("-0"), std::nullopt);
}

}  // namespace
}  // namespace lanternwick
