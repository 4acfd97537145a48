// A peer in packet-length framing that answers like a console at first and
// then sends what no console sends. The link may well be given up, but the
// user must be told why: a bare "not connected", repeated on every retry,
// leaves nothing to check.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "monitor/SettingsKeys.h"
#include "net/LoopbackPeer.h"
#include "soak/MonitorRig.h"
#include "soak/SoakShow.h"

namespace lanternwick::soak {
namespace {

using namespace std::chrono_literals;

std::string bigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

// Answers the first ping like a console, then sends `after`, then waits for
// the monitor to close the connection or `stop`.
void actAsConsole(const testing::LoopbackListener& listener, const std::atomic<bool>& stop, const std::string& after) {
    const testing::Peer peer = listener.accept(5s);
    std::string seen;
    static const std::string ping = bigEndian32(20) + std::string("/eos/ping\0\0\0,i\0\0", 16);
    std::size_t at = std::string::npos;
    while (!stop && peer.valid() && (at == std::string::npos || seen.size() < at + 24)) {
        const auto bytes = peer.receive(1, 50ms);
        seen.append(bytes.begin(), bytes.end());
        at = seen.find(ping);
    }
    if (at == std::string::npos) return;
    peer.send(bigEndian32(24) + std::string("/eos/out/ping\0\0\0,i\0\0", 20) + seen.substr(at + 20, 4));
    peer.send(after);
    while (!stop && !peer.seesEndOfStream(50ms)) {
    }
}

// The monitor on `listener` in packet-length framing, once connected.
void startOn(MonitorRig& rig) {
    rig.settings->setString(settingsKey::eosFraming, "length");
    rig.write(showText(numberedShow(1)));
    rig.start();
    ASSERT_TRUE(rig.waitConnected());
}

TEST(HostileConsole, AnOversizedPacketEndsTheLinkWithAReasonTheUserCanRead) {
    const std::pair<const char*, std::string> rows[] = {
        {"a size header of 2 GiB", bigEndian32(0x7fffffff)},
        {"a whole 10 MB packet", bigEndian32(10'000'000) + std::string(10'000'000, 'A')},
    };
    for (const auto& [what, hostile] : rows) {
        SCOPED_TRACE(what);
        const testing::LoopbackListener listener;
        std::atomic<bool> stop = false;
        std::thread console([&, &hostile = hostile] { actAsConsole(listener, stop, hostile); });
        MonitorRig rig(listener.port(), {.updateOnConnect = false});
        startOn(rig);
        EXPECT_TRUE(rig.waitConnected(false));
        stop = true;
        console.join();
        std::string reason = "(no disconnection recorded)";
        for (const SyncOutcome& outcome : rig.monitor->outcomes()) {
            const auto* change = std::get_if<ConnectionChange>(&outcome.detail);
            if (change && change->status.state == LinkState::notConnected) reason = change->status.reason;
        }
        EXPECT_NE(reason, "") << "the link ended without a word on why";
    }
}

// Labels typed on the console are not all ASCII; a reply carrying one is
// still a reply, and the bytes that are not ASCII are shown replaced.
TEST(HostileConsole, ACueReplyWithALabelThatIsNotASCIIIsReportedNotDropped) {
    const std::string reply = std::string("/eos/out/get/cue/1/7\0\0\0\0,s\0\0Caf\xc3\xa9\0\0\0", 36);
    const testing::LoopbackListener listener;
    std::atomic<bool> stop = false;
    std::thread console([&] { actAsConsole(listener, stop, bigEndian32(36) + reply); });
    MonitorRig rig(listener.port(), {.updateOnConnect = false});
    startOn(rig);
    const bool reported = rig.runUntil(
        [&] {
            for (const IncomingOSCMessage& message : rig.monitor->incomingOSCMessages()) {
                if (message.cueNumber == "7") return true;
            }
            return false;
        },
        2s);
    stop = true;
    console.join();
    EXPECT_TRUE(reported) << "the reply for cue 1/7 left no trace";
}

}  // namespace
}  // namespace lanternwick::soak
