#include "support/Result.h"

#include <gtest/gtest.h>

#include <string>

namespace lanternwick {
namespace {

Result<int, std::string> half(int n) {
    if (n % 2 != 0) return fail(std::string("odd"));
    return n / 2;
}

TEST(Result, CarriesValueOrErrorEvenWhenTypesCouldBeConfused) {
    EXPECT_EQ(*half(8), 4);
    EXPECT_FALSE(half(3).ok());
    EXPECT_EQ(half(3).error(), "odd");

    Result<std::string, std::string> same = fail(std::string("e"));
    EXPECT_FALSE(same.ok());
    EXPECT_EQ(same.error(), "e");
    EXPECT_EQ(same.valueOr("fallback"), "fallback");
}

TEST(Result, VoidResultReportsFailure) {
    Result<void, std::string> fine;
    Result<void, std::string> broken = fail(std::string("x"));
    EXPECT_TRUE(fine.ok());
    EXPECT_FALSE(broken.ok());
    EXPECT_EQ(broken.error(), "x");
}

}  // namespace
}  // namespace lanternwick
