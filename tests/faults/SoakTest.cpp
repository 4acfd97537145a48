// A few hundred random edits of the kinds the diff mirrors one by one (fade,
// fade-out, label, position, removal), each followed by a poll, against the
// simulated console with every option on and deletions confirmed for the
// whole session. Afterwards the console must hold exactly what the file
// says, without one refused command. The sequence is seeded, so a failure
// repeats.

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FaultConsole.h"
#include "FaultTestSupport.h"
#include "MonitorHarness.h"

namespace lanternwick::faults {
namespace {

TEST(Soak, RandomEditsLeaveTheConsoleEqualToTheFile) {
    FaultConsole console;
    MonitorHarness harness(console.port());
    std::vector<MarkerSpec> markers = numberedShow(30);
    harness.write(show(markers));
    harness.start();
    harness.monitor->setCueDeletionPromptPolicy(CueDeletionPromptPolicy::autoYes);
    ASSERT_TRUE(harness.waitConnected());
    ASSERT_TRUE(harness.runUntil([&] { return console.cues() == expectedCues(markers); }));

    std::mt19937 random(20261207);
    for (int edit = 0; edit < 300 && markers.size() > 1; ++edit) {
        MarkerSpec& marker = markers[random() % markers.size()];
        switch (random() % 5) {
        case 0: marker.fade = std::to_string(random() % 20); break;
        case 1: marker.label = "Edit " + std::to_string(edit) + (random() % 4 == 0 ? " #" : ""); break;
        case 2: marker.position = std::to_string(random() % 3000); break;
        case 3: marker.label = random() % 2 ? "  " : "Bad \xc3 " + std::to_string(edit); break;
        default:
            if (random() % 10 == 0) {
                markers.erase(markers.begin() + static_cast<std::ptrdiff_t>(random() % markers.size()));
            }
            break;
        }
        harness.write(show(markers));
        harness.monitor->pollOnce();
        harness.settle(std::chrono::milliseconds(random() % 3));
    }
    harness.settle(std::chrono::milliseconds(200));

    // Labels are compared by the refusal check only: the console gets them
    // in ASCII, which changes the invalid ones.
    const std::vector<MarkerSpec>& expected = markers;
    ASSERT_TRUE(harness.runUntil([&] { return console.cues().size() == expected.size(); }));
    const auto cues = console.cues();
    const auto wanted = expectedCues(expected);
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        EXPECT_EQ(cues[i].cueNumber, wanted[i].cueNumber);
        EXPECT_EQ(cues[i].time, wanted[i].time) << "cue " << wanted[i].cueNumber;
        EXPECT_EQ(cues[i].timecode, wanted[i].timecode) << "cue " << wanted[i].cueNumber;
    }
    EXPECT_FALSE(hasRefusals(console.log()));
    EXPECT_TRUE(harness.monitor->isEosConnected());
}

}  // namespace
}  // namespace lanternwick::faults
