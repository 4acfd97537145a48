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

// Shared cues, varied saves, reboots around them and stops, a few seeds that
// the long runs of lanternwick-soak --fault-every 25 go through by the hundred.
TEST(Soak, SharedCuesSavesAndConsoleFaultsLeaveTheConsoleEqualToTheFile) {
    for (const std::uint32_t seed : {31u, 3101u, 20261209u}) {
        const SoakOptions options{.edits = 120, .seed = seed, .maxIntervalMs = 4, .faultEvery = 25, .maxStopMs = 1500};
        const SoakResult result = runSoak(options);
        EXPECT_TRUE(result.ok()) << summary(options, result);
        EXPECT_GT(result.sharedMoves, 0) << summary(options, result);
        EXPECT_GT(result.faultsByKind[0] + result.faultsByKind[1] + result.faultsByKind[2], 0)
            << summary(options, result);
    }
}

}  // namespace
}  // namespace lanternwick::soak
