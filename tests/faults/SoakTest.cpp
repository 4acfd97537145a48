// The seeded soak that lanternwick-soak runs at length, kept short here so
// that every build repeats one fixed sequence.

#include <gtest/gtest.h>

#include "soak/Soak.h"

namespace lanternwick::soak {
namespace {

TEST(Soak, RandomEditsLeaveTheConsoleEqualToTheFile) {
    const SoakOptions options{.edits = 300, .seed = 20261207, .maxIntervalMs = 2};
    const SoakResult result = runSoak(options);
    EXPECT_TRUE(result.ok()) << summary(options, result);
    EXPECT_EQ(result.edits, 300);
    for (const int count : result.editsByKind) {
        EXPECT_GT(count, 20) << "every kind of edit gets its share";
    }
    EXPECT_GT(result.leftBehind, 0u);
}

}  // namespace
}  // namespace lanternwick::soak
