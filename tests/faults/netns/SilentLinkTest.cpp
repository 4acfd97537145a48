// A pulled cable for real: the console and the monitor share the loopback of
// a network namespace of this test's own, and a blackhole queue on it drops
// every packet, with no reset and no close. Needs root (CI runs the suites as
// root); skipped with the reason where namespaces are refused.

#include <sched.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "soak/MonitorRig.h"
#include "soak/SoakConsole.h"
#include "soak/SoakShow.h"

namespace lanternwick::soak {
namespace {

using namespace std::chrono_literals;

std::size_t confirmedLines(const std::vector<SyncOutcome>& outcomes, std::size_t newest) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < newest && i < outcomes.size(); ++i) {
        if (const auto* c = std::get_if<DeliveryConfirmed>(&outcomes[i].detail)) lines += c->lines;
    }
    return lines;
}

TEST(SilentLink, EditsMadeWhileTheConsoleIsSilentReachItOnceTheLinkIsBack) {
    // Before any thread exists, so that every thread the test starts is inside.
    if (::unshare(CLONE_NEWNET) != 0) {
        GTEST_SKIP() << "no network namespace of our own (" << std::strerror(errno)
                     << "): the silent-link test needs root";
    }
    if (std::system("ip link set lo up") != 0) GTEST_SKIP() << "'ip' (iproute2) cannot bring the loopback up";

    SoakConsole console;
    MonitorRig rig(console.port());
    std::vector<ShowMarker> markers = numberedShow(3);
    rig.write(showText(markers));
    rig.start();
    ASSERT_TRUE(rig.runUntil([&] { return rig.monitor->isEosConnected() && console.cues() == expectedCues(markers); }));
    // Only the held lines can bring the edits now, as with the option off.
    rig.monitor->setOptUpdateOnConnect(false);

    ASSERT_EQ(std::system("tc qdisc add dev lo root blackhole"), 0) << "'tc' (iproute2) is needed";
    const std::size_t outcomesBefore = rig.monitor->outcomes().size();
    const auto silentFrom = std::chrono::steady_clock::now();
    markers[0].fade = "7";
    rig.write(showText(markers));
    rig.poll();
    markers[1].label = "Silent";
    rig.write(showText(markers));
    rig.poll();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.monitor->isEosConnected(); }, 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - silentFrom, 7s) << "a silent console is found within seconds";
    const std::size_t whileSilent = rig.monitor->outcomes().size() - outcomesBefore;
    EXPECT_EQ(confirmedLines(rig.monitor->outcomes(), whileSilent), 0U) << "nothing confirmed that nobody answered";
    EXPECT_GE(rig.monitor->eosLinkStatus().heldLines, 2U) << "the unconfirmed edits are held again";
    EXPECT_EQ(console.cues()[0].time, expectedCues(numberedShow(3))[0].time) << "the console never saw the edits";

    ASSERT_EQ(std::system("tc qdisc del dev lo root"), 0);
    ASSERT_TRUE(rig.runUntil([&] { return rig.monitor->isEosConnected(); }, 30s)) << "the link comes back by itself";
    ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(markers); }))
        << "the edits made while silent reach the console";
    EXPECT_EQ(rig.monitor->eosLinkStatus().heldLines, 0U);
    EXPECT_FALSE(console.hasRefusals());
}

}  // namespace
}  // namespace lanternwick::soak
