// The product in each framing against the console simulator in the same
// framing: the monitor with its real Eos client brings the console in line
// with the file on connect, and the console's answers to its cue queries are
// reported with the fields the console gave.

#include <algorithm>

#include <gtest/gtest.h>

#include "common/LoopbackConsole.h"
#include "eos/CueReply.h"
#include "soak/MonitorRig.h"
#include "soak/SoakShow.h"

namespace lanternwick {
namespace {

TEST(FramingEndToEnd, UpdateOnConnectAndRepliesInEachFraming) {
    for (const auto& [framing, setting] : {std::pair{OSCTCPFramingMode::osc1_1, "slip"},
                                           std::pair{OSCTCPFramingMode::osc1_0, "length"}}) {
        SCOPED_TRACE(setting);
        testing::LoopbackConsole console(false, framing);
        // What the console held before: the queries on the first look at the
        // file are answered with it, before the update replaces it.
        console.type("Cue 1 / 1 Time 1.5 / 2 Timecode 00:00:01:00 Label Before #");
        soak::MonitorRig rig(console.port());
        rig.settings->setString("eosFraming", setting);
        const std::vector<soak::ShowMarker> markers = soak::numberedShow(3);
        rig.write(soak::showText(markers));
        rig.start();
        ASSERT_TRUE(rig.waitConnected());
        ASSERT_TRUE(rig.runUntil([&] {
            return console.cue(1, "2") == soak::expectedCue(markers[1]) &&
                   console.cue(1, "3") == soak::expectedCue(markers[2]) && !rig.monitor->incomingOSCMessages().empty();
        })) << console.output();

        const IncomingOSCMessage& reply = rig.monitor->incomingOSCMessages().back();
        EXPECT_EQ(reply.address, "/eos/out/get/cue/1/1/0/list/0/30");
        EXPECT_EQ(reply.label, "Before");
        EXPECT_EQ(reply.upTimeMs, 1500);
        EXPECT_EQ(reply.timecode, "00:00:01:00");
        const auto received = std::find_if(rig.monitor->outcomes().begin(), rig.monitor->outcomes().end(),
                                           [](const SyncOutcome& o) { return std::holds_alternative<ReceivedReply>(o.detail); });
        ASSERT_NE(received, rig.monitor->outcomes().end());
        EXPECT_EQ(cueReplySummary(std::get<ReceivedReply>(received->detail)),
                  "cue 1/1: label Before, time 1.5 s, timecode 00:00:01:00");
        EXPECT_EQ(rig.monitor->incomingOSCMessages().size(), 1u) << "cues 2 and 3 did not exist when asked";
        EXPECT_EQ(console.output().find("\"dropped\""), std::string::npos) << console.output();
    }
}

}  // namespace
}  // namespace lanternwick
