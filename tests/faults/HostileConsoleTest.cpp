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

TEST(HostileConsole, AnOversizedPacketEndsTheLinkWithAReasonTheUserCanRead) {
    const std::pair<const char*, std::string> rows[] = {
        {"a size header of 2 GiB", bigEndian32(0x7fffffff)},
        {"a whole 10 MB packet", bigEndian32(10'000'000) + std::string(10'000'000, 'A')},
    };
    for (const auto& [what, hostile] : rows) {
        SCOPED_TRACE(what);
        const testing::LoopbackListener listener;
        std::atomic<bool> stop = false;
        std::thread console([&, &hostile = hostile] {
            const testing::Peer peer = listener.accept(5s);
            std::string seen;
            static const std::string ping = bigEndian32(20) + std::string("/eos/ping\0\0\0,i\0\0", 16);
            while (!stop && peer.valid() && seen.find(ping) == std::string::npos) {
                const auto bytes = peer.receive(1, 50ms);
                seen.append(bytes.begin(), bytes.end());
            }
            const std::size_t at = seen.find(ping);
            if (at == std::string::npos) return;
            while (!stop && seen.size() < at + 24) {
                const auto bytes = peer.receive(1, 50ms);
                seen.append(bytes.begin(), bytes.end());
            }
            peer.send(bigEndian32(24) + std::string("/eos/out/ping\0\0\0,i\0\0", 20) + seen.substr(at + 20, 4));
            peer.send(hostile);
            while (!stop && !peer.seesEndOfStream(50ms)) {
            }
        });
        MonitorRig rig(listener.port(), {.updateOnConnect = false});
        rig.settings->setString(settingsKey::eosFraming, "length");
        rig.write(showText(numberedShow(1)));
        rig.start();
        EXPECT_TRUE(rig.waitConnected());
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

}  // namespace
}  // namespace lanternwick::soak
