// Consoles that misbehave while the monitor talks to them: killed in the
// middle of a burst and rebooted, refusing connections for a while, or
// replaced by another one when the user changes the port. With "Update Eos
// on Connect" on, the console that ends up connected must hold exactly what
// the file says, and nothing it was sent may be a command it cannot read.

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "soak/MonitorRig.h"
#include "soak/SoakConsole.h"
#include "soak/SoakShow.h"

namespace lanternwick::soak {
namespace {

// Every marker gets a new cue number: four lines each (enter, label, time,
// timecode), so 150 markers make a burst of 600 lines, more than the console
// reads at once.
std::vector<ShowMarker> renumbered(std::vector<ShowMarker> markers, int offset) {
    for (ShowMarker& marker : markers) {
        marker.cue = std::to_string(std::stoi(marker.cue) + offset);
    }
    return markers;
}

// The monitor watching `markers`, connected, and the console holding them.
void startInStep(MonitorRig& rig, SoakConsole& console, const std::vector<ShowMarker>& markers) {
    rig.write(showText(markers));
    rig.start();
    ASSERT_TRUE(rig.waitConnected());
    ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(markers); }));
}

TEST(ConsoleFault, KilledInTheMiddleOfABurstAndRestartedEndsEqualToTheFile) {
    SoakConsole console;
    MonitorRig rig(console.port());
    std::vector<ShowMarker> markers = numberedShow(150);
    ASSERT_NO_FATAL_FAILURE(startInStep(rig, console, markers));

    const std::size_t beforeBurst = console.executedCount();
    console.dieAfterExecuted(beforeBurst + 10);
    markers = renumbered(markers, 1000);
    rig.write(showText(markers));
    rig.poll();
    ASSERT_TRUE(rig.waitConnected(false)) << "the client must notice the console going away";
    EXPECT_LT(console.executedCount(), beforeBurst + 600) << "the console was meant to die before the burst ended";

    console.kill();
    console.start();
    // The next burst is held while the client finds the console again; the
    // update on connect then brings the rebooted console up to date.
    markers = renumbered(markers, 1000);
    markers[0].label = "After the reboot";
    rig.write(showText(markers));
    rig.poll();
    ASSERT_TRUE(rig.waitConnected());
    ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(markers); }))
        << "the rebooted console does not hold what the file says";
    EXPECT_FALSE(console.hasRefusals());
    EXPECT_NE(console.log().find("\"key\":\"blind\""), std::string::npos) << "blind is pressed on the new connection";
}

// With or without the update on connect, a burst of edits made while the
// console refuses connections reaches it once it answers, with no edit after.
TEST(ConsoleFault, RefusedConnectionsLoseNothingOnceTheConsoleAnswers) {
    for (const bool updateOnConnect : {true, false}) {
        SCOPED_TRACE(updateOnConnect ? "update on connect" : "held lines only");
        SoakConsole console;
        console.kill();
        MonitorRig rig(console.port(), {.updateOnConnect = updateOnConnect});
        std::vector<ShowMarker> markers = numberedShow(5);
        rig.write(showText(markers));
        rig.start();
        for (int edit = 0; edit < 5; ++edit) {
            markers[edit].fade = std::to_string(3 + edit);
            markers[edit].cue = std::to_string(10 + edit);
            rig.write(showText(markers));
            rig.poll();
            EXPECT_FALSE(rig.monitor->isEosConnected());
        }
        EXPECT_TRUE(rig.sentLines().empty()) << "nothing is logged as sent while nobody listens";
        EXPECT_EQ(rig.monitor->events().size(), 6u) << "the file is still watched while the console is away";
        EXPECT_GT(rig.monitor->eosLinkStatus().heldLines, 0u);

        console.start();
        ASSERT_TRUE(rig.waitConnected()) << "the link comes back by itself";
        ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(markers); }));
        EXPECT_EQ(rig.monitor->eosLinkStatus().heldLines, 0u);
        EXPECT_FALSE(console.hasRefusals());
    }
}

// Addresses and command lines the monitor logged as sent since `from`, oldest first.
std::vector<std::string> sentSince(const MonitorRig& rig, std::size_t from) {
    std::vector<std::string> sent;
    const auto& log = rig.monitor->outgoingOSCMessages();
    for (auto it = log.rbegin() + static_cast<std::ptrdiff_t>(from); it != log.rend(); ++it) {
        sent.push_back(it->address == "/eos/user/0/newcmd" ? it->valuesText : it->address);
    }
    return sent;
}

TEST(ConsoleFault, RestartedWithoutAnEditTheConsoleGetsTheHeldLinesRightAfterTheBlindKey) {
    SoakConsole console;
    MonitorRig rig(console.port(), {.updateOnConnect = false});
    std::vector<ShowMarker> markers = numberedShow(3);
    rig.write(showText(markers));
    rig.start();
    ASSERT_TRUE(rig.waitConnected());
    console.kill();
    ASSERT_TRUE(rig.waitConnected(false));

    for (const char* fade : {"3", "4"}) {
        markers[0].fade = fade;
        rig.write(showText(markers));
        rig.poll();
    }
    markers[1].label = "Chorus";
    rig.write(showText(markers));
    rig.poll();
    EXPECT_EQ(rig.monitor->eosLinkStatus().heldLines, 2u) << "the fade 3 line is superseded by fade 4";

    const std::size_t before = rig.monitor->outgoingOSCMessages().size();
    console.start();
    ASSERT_TRUE(rig.waitConnected());
    ASSERT_TRUE(rig.runUntil([&] { return console.executedCount() == 2; }));
    EXPECT_EQ(sentSince(rig, before), (std::vector<std::string>{"/eos/user/0/key/blind", "$ Cue 1 / 1 Time 4 #",
                                                                 "$ Cue 1 / 2 Label Chorus #"}));
    EXPECT_FALSE(console.hasRefusals());
}

TEST(ConsoleFault, HeldDeletionsAndClearedLabelsGoFirstAndTheFullUpdateReplacesTheOtherHeldLines) {
    SoakConsole console;
    MonitorRig rig(console.port());
    std::vector<ShowMarker> markers = numberedShow(3);
    ASSERT_NO_FATAL_FAILURE(startInStep(rig, console, markers));
    console.kill();
    ASSERT_TRUE(rig.waitConnected(false));

    markers.pop_back();
    markers[0].fade = "6";
    markers[1].label = "";
    rig.write(showText(markers));
    rig.poll();
    EXPECT_EQ(rig.monitor->eosLinkStatus().heldLines, 3u);

    const std::size_t before = rig.monitor->outgoingOSCMessages().size();
    console.start();
    ASSERT_TRUE(rig.waitConnected());
    ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(markers); }));
    const auto sent = sentSince(rig, before);
    // The full line leaves an empty label out: only the held line can clear it.
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0], "/eos/user/0/key/blind");
    EXPECT_EQ(sent[1], "$ Cue 1 / 2 Label  #");
    EXPECT_EQ(sent[2], "$ Delete Cue 1 / 3 Enter #");
    EXPECT_EQ(sent[3].rfind("Cue 1 / 1 Time 6 ", 0), 0u) << sent[3];
    EXPECT_EQ(sent[4].rfind("Cue 1 / 2 ", 0), 0u) << sent[4];
}

// A label the connection can never queue is skipped; the lines behind it
// still go, and once the label is short again the console has the file.
TEST(ConsoleFault, AFiveMegabyteLabelIsSkippedAndEverythingElseReachesTheConsole) {
    SoakConsole console;
    MonitorRig rig(console.port());
    std::vector<ShowMarker> markers = numberedShow(3);
    ASSERT_NO_FATAL_FAILURE(startInStep(rig, console, markers));

    markers[1].label = std::string(5'000'000, 'x');
    markers[2].fade = "5";
    rig.write(showText(markers));
    rig.poll();
    ASSERT_TRUE(rig.runUntil([&] { return console.cues()[2].time == "5"; })) << "the line behind it went";
    bool skipped = false;
    for (const SyncOutcome& outcome : rig.monitor->outcomes()) {
        const auto* line = std::get_if<LineOutcome>(&outcome.detail);
        skipped |= line && line->fate == LineFate::skipped && line->reason.find("bytes the connection can queue") != std::string::npos;
    }
    EXPECT_TRUE(skipped);
    EXPECT_EQ(rig.monitor->eosLinkStatus().heldLines, 0U) << "nothing waits behind it";

    markers[1].label = "Short again";
    rig.write(showText(markers));
    rig.poll();
    ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(markers); }));
}

TEST(ConsoleFault, PortChangedWhileConnectedMovesEverythingToTheNewConsole) {
    SoakConsole first;
    SoakConsole second;
    MonitorRig rig(first.port());
    std::vector<ShowMarker> markers = numberedShow(4);
    ASSERT_NO_FATAL_FAILURE(startInStep(rig, first, markers));

    rig.monitor->setEosPort(second.port());
    rig.queue->advance(LightingFileMonitor::connectionSettingsDelay);
    ASSERT_TRUE(rig.runUntil([&] { return second.cues() == expectedCues(markers); }))
        << "the new console gets the full update on connect";
    EXPECT_EQ(rig.settings->integerValue("eosPort"), second.port());

    const std::size_t firstExecuted = first.executedCount();
    markers[3].fade = "9";
    rig.write(showText(markers));
    rig.poll();
    ASSERT_TRUE(rig.runUntil([&] { return second.cues() == expectedCues(markers); }));
    EXPECT_EQ(first.executedCount(), firstExecuted) << "the old console hears nothing more";
    EXPECT_FALSE(first.hasRefusals() || second.hasRefusals());
}

}  // namespace
}  // namespace lanternwick::soak
