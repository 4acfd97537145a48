// Consoles that misbehave while the monitor talks to them: killed in the
// middle of a burst and rebooted, refusing connections for a while, or
// replaced by another one when the user changes the port. With "Update Eos
// on Connect" on, the console that ends up connected must hold exactly what
// the file says, and nothing it was sent may be a command it cannot read.

#include <chrono>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FaultConsole.h"
#include "FaultTestSupport.h"
#include "MonitorHarness.h"

namespace lanternwick::faults {
namespace {

// Every marker gets a new cue number: four lines each (enter, label, time,
// timecode), so 150 markers make a burst of 600 lines, more than the console
// reads at once.
std::vector<MarkerSpec> renumbered(std::vector<MarkerSpec> markers, int offset) {
    for (MarkerSpec& marker : markers) {
        marker.cue = std::to_string(std::stoi(marker.cue) + offset);
    }
    return markers;
}

TEST(ConsoleFault, KilledInTheMiddleOfABurstAndRestartedEndsEqualToTheFile) {
    FaultConsole console;
    MonitorHarness harness(console.port());
    std::vector<MarkerSpec> markers = numberedShow(150);
    harness.write(show(markers));
    harness.start();
    ASSERT_TRUE(harness.waitConnected());
    ASSERT_TRUE(harness.runUntil([&] { return console.cues() == expectedCues(markers); }));

    const std::size_t beforeBurst = console.executedCount();
    console.dieAfterExecuted(beforeBurst + 10);
    markers = renumbered(markers, 1000);
    harness.write(show(markers));
    harness.poll();
    ASSERT_TRUE(harness.waitConnected(false)) << "the client must notice the console going away";
    EXPECT_LT(console.executedCount(), beforeBurst + 600) << "the console was meant to die before the burst ended";

    console.kill();
    console.start();
    // Every send of the next burst finds no connection, starts one and is
    // itself dropped; the update on connect then brings the rebooted console
    // up to date.
    markers = renumbered(markers, 1000);
    markers[0].label = "After the reboot";
    harness.write(show(markers));
    harness.poll();
    ASSERT_TRUE(harness.waitConnected());
    ASSERT_TRUE(harness.runUntil([&] { return console.cues() == expectedCues(markers); }))
        << "the rebooted console does not hold what the file says";
    EXPECT_FALSE(hasRefusals(console.log()));
    EXPECT_NE(console.log().find("\"key\":\"blind\""), std::string::npos) << "blind is pressed on the new connection";
}

TEST(ConsoleFault, RefusedConnectionsLoseNothingOnceTheConsoleAnswers) {
    FaultConsole console;
    const std::uint16_t port = console.port();
    console.kill();

    MonitorHarness harness(port);
    std::vector<MarkerSpec> markers = numberedShow(5);
    harness.write(show(markers));
    harness.start();
    harness.settle(std::chrono::milliseconds(300));
    EXPECT_FALSE(harness.monitor->isEosConnected());

    for (int edit = 0; edit < 3; ++edit) {
        markers[edit].fade = std::to_string(3 + edit);
        harness.write(show(markers));
        harness.poll();
        EXPECT_FALSE(harness.monitor->isEosConnected());
    }
    EXPECT_TRUE(harness.sentLines().empty()) << "nothing is logged as sent while nobody listens";
    EXPECT_EQ(harness.monitor->events().size(), 4u) << "the file is still watched while the console is away";

    console.start();
    markers[4].label = "Encore";
    harness.write(show(markers));
    harness.poll();
    ASSERT_TRUE(harness.waitConnected());
    ASSERT_TRUE(harness.runUntil([&] { return console.cues() == expectedCues(markers); }));
    EXPECT_FALSE(hasRefusals(console.log()));
}

TEST(ConsoleFault, PortChangedWhileConnectedMovesEverythingToTheNewConsole) {
    FaultConsole first;
    FaultConsole second;
    MonitorHarness harness(first.port());
    std::vector<MarkerSpec> markers = numberedShow(4);
    harness.write(show(markers));
    harness.start();
    ASSERT_TRUE(harness.waitConnected());
    ASSERT_TRUE(harness.runUntil([&] { return first.cues() == expectedCues(markers); }));

    harness.monitor->setEosPort(second.port());
    harness.queue->advance(LightingFileMonitor::connectionSettingsDelay);
    ASSERT_TRUE(harness.runUntil([&] { return second.cues() == expectedCues(markers); }))
        << "the new console gets the full update on connect";
    EXPECT_EQ(harness.settings->integerValue("eosPort"), second.port());

    const std::size_t firstExecuted = first.executedCount();
    markers[3].fade = "9";
    harness.write(show(markers));
    harness.poll();
    ASSERT_TRUE(harness.runUntil([&] { return second.cues() == expectedCues(markers); }));
    EXPECT_EQ(first.executedCount(), firstExecuted) << "the old console hears nothing more";
    EXPECT_FALSE(hasRefusals(first.log()) || hasRefusals(second.log()));
}

}  // namespace
}  // namespace lanternwick::faults
