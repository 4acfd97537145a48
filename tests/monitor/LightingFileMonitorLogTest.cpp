#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "eos/EosOSCClient.h"
#include "monitor/MonitorTestSupport.h"
#include "osc/OSCMessage.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using testing::markerFileText;

class MonitorLogs : public ::testing::Test, public testing::MonitorFixture {};

// Room for the cut text and its "… (N more bytes)".
constexpr std::size_t keptMost = keptTextLimit + 40;

TEST_F(MonitorLogs, TheEventLogKeepsItsNewestThousandEvents) {
    makeMonitor();
    for (int save = 0; save <= 1000; ++save) {
        poll(markerFileText({{.cue = "1", .fade = "2", .fadeOut = std::to_string(save)}}));
    }
    ASSERT_EQ(monitor->events().size(), LightingFileMonitor::eventLogLimit);
    EXPECT_EQ(monitor->events().front().actions.at(0).newFadeOutTime, "1000") << "newest first";
    EXPECT_EQ(monitor->events().back().actions.at(0).newFadeOutTime, "1") << "only the initial snapshot dropped";
}

// The console needs the whole label; the log only enough of it to read.
TEST_F(MonitorLogs, AMegabyteLabelReachesTheConsoleWholeAndTheLogsCapped) {
    makeMonitor();
    monitor->setOptSyncLabels(true);
    const std::string big(1 << 20, 'a');
    poll(markerFileText({{.cue = "1", .label = "Intro"}}));
    poll(markerFileText({{.cue = "1", .label = big}}));
    ASSERT_THAT(link->sent, ::testing::Contains(HasSubstr(big)));

    const LightingChangeEvent& event = monitor->events().front();
    ASSERT_EQ(event.actions.size(), 1U);
    const LightingAction& action = event.actions[0];
    EXPECT_EQ(action.oldLabel, "Intro");
    ASSERT_TRUE(action.newLabel);
    EXPECT_EQ(*action.newLabel, cappedText(big));
    for (const std::string& text : {event.summary, event.details, action.summary, action.details}) {
        EXPECT_LE(text.size(), keptMost);
    }

    const std::string line = "$ Cue 1 / 1 Label " + big + " #";
    monitor->appendOutgoingMessage({Uuid::random(), {}, "/eos/user/0/newcmd", line});
    monitor->recordOutcome(makeOutcome(LineOutcome{"/eos/user/0/newcmd", line, LineFate::held, big}));
    monitor->recordOutcome(makeOutcome(SkippedCommand{1, big, "enter", "cue id is not a console cue number"}));
    EXPECT_EQ(monitor->outgoingOSCMessages().front().valuesText, cappedText(line));
    monitor->appendIncomingMessage({Uuid::random(), {}, "/eos/out/get/cue/1/1", cappedText(big), 1, "1"});
    EXPECT_EQ(monitor->incomingOSCMessages().front().valuesText, cappedText(big)) << "capped once, not again";
    const auto& held = std::get<LineOutcome>(monitor->outcomes()[1].detail);
    EXPECT_EQ(held.text, cappedText(line));
    EXPECT_EQ(held.reason, cappedText(big));
    EXPECT_THAT(std::get<SkippedCommand>(monitor->outcomes()[0].detail).cue, EndsWith(" more bytes)"));
}

// A million Impulse tags: 1 MB on the wire, 9 MB as a text.
TEST_F(MonitorLogs, AReplyOfAMillionImpulsesIsKeptCappedInBothLogs) {
    const auto client = EosOSCClient::create(queue);
    auto d = dependencies();
    d.eosLink = client;
    monitor = LightingFileMonitor::create(std::move(d));
    const std::vector<OSCValue> values(1'000'000, OSCValue(OSCImpulseValue{}));
    client->handleIncomingMessage(OSCMessage("/eos/out/get/cue/1/5", values));

    std::string whole = "Impulse";
    for (int i = 1; i < 1'000'000; ++i) whole += ", Impulse";
    ASSERT_EQ(monitor->incomingOSCMessages().size(), 1U);
    EXPECT_EQ(monitor->incomingOSCMessages()[0].valuesText, cappedText(whole));
    const auto reply = std::find_if(monitor->outcomes().begin(), monitor->outcomes().end(), [](const SyncOutcome& o) {
        return std::holds_alternative<ReceivedReply>(o.detail);
    });
    ASSERT_NE(reply, monitor->outcomes().end());
    EXPECT_EQ(std::get<ReceivedReply>(reply->detail).valuesText, cappedText(whole));
}

}  // namespace
}  // namespace lanternwick
