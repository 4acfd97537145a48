// The monitor and the real Eos client against the console simulator on
// loopback: the marker file is edited step by step and the exact command
// lines that reach the console are checked, in order.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/LoopbackConsole.h"
#include "monitor/MonitorTestSupport.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using testing::MarkerFields;
using testing::markerFileText;

class MonitorEndToEnd : public ::testing::Test, public testing::MonitorFixture {
protected:
    MonitorEndToEnd() : MonitorFixture(RunLoopMainQueue::ClockMode::real) {}

    testing::LoopbackConsole console;
};

std::string newcmd(const std::string& line) { return "/eos/user/0/newcmd|" + line; }

TEST_F(MonitorEndToEnd, ARenumberedCueAndADeletionReachTheConsoleAsExactCommandLines) {
    settings->setInteger("eosPort", console.port());
    settings->setBool("optSyncLabels", true);
    settings->setBool("optDeleteCues", true);
    auto d = dependencies();
    d.eosLink = nullptr;
    monitor = LightingFileMonitor::create(std::move(d));
    MarkerFields a{.cue = "1", .label = "Intro", .position = "10", .fade = "3"};
    files->write(markerPath, markerFileText({a, {.cue = "2", .label = "Verse", .position = "20", .fade = "3"}}));
    monitor->startMonitoring();
    ASSERT_TRUE(queue->runUntil([&] { return console.received().size() == 1; }, 10s));
    EXPECT_THAT(console.received(), ElementsAre("/eos/user/0/key/blind"));
    EXPECT_TRUE(monitor->isEosConnected());

    console.clearOutput();
    a.cue = "5";
    prompt->answers = {{true, false}};
    poll(markerFileText({a}));
    queue->runUntil([&] { return console.received().size() >= 5; }, 10s);
    // A little longer, so that a message too many would show up too.
    queue->runFor(100ms);
    EXPECT_THAT(console.received(),
                ElementsAre(newcmd("$ Cue 1 / 5 Enter #"), newcmd("$ Cue 1 / 5 Label Intro #"), newcmd("$ Cue 1 / 5 Time 3 #"),
                            newcmd("$ Cue 1 / 5 Timecode 00:00:10:00 #"), newcmd("$ Delete Cue 1 / 2 Enter #")));
    EXPECT_THAT(prompt->questions, ElementsAre("Delete Cue 1/2 from Eos?"));
    EXPECT_EQ(console.cue(1, "5"), (sim::SimulatedCue{1, "5", "Intro", "3", "00:00:10:00"}));
    EXPECT_FALSE(console.cue(1, "2").has_value());
    EXPECT_EQ(monitor->outgoingOSCMessages().front().valuesText, "$ Delete Cue 1 / 2 Enter #");
}

}  // namespace
}  // namespace lanternwick
