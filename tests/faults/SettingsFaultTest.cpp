// A settings store holding garbage under every key: wrong types, numbers out
// of range, control characters, a path to nowhere. The monitor must start,
// fall back to the defaults where the value is unusable, keep watching and
// never hang on a host that cannot be reached.

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "soak/MonitorRig.h"
#include "soak/SoakShow.h"

namespace lanternwick::soak {
namespace {

using Kind = LightingChangeEvent::Kind;

// `host` and `port`: what the monitor must fall back to, where the row says.
struct Garbage {
    const char* name;
    void (*fill)(SettingsStore&);
    const char* host = nullptr;
    std::int64_t port = 0;
};

const Garbage garbage[] = {
    {"wrong types",
     [](SettingsStore& s) {
         s.setInteger("eosHost", 42);
         s.setString("eosPort", "eight thousand");
         s.setInteger("optUpdateOnConnect", 1);
         s.setString("optSyncLabels", "true");
         s.setString("optDeleteCues", "1");
     },
     "42", 8555},
    {"out of range",
     [](SettingsStore& s) {
         s.setString("eosHost", " \n\t ");
         s.setInteger("eosPort", std::numeric_limits<std::int64_t>::min());
     },
     "127.0.0.1", 8555},
    {"port above the range", [](SettingsStore& s) { s.setInteger("eosPort", 65536); }, nullptr, 8555},
    {"port as text above the range", [](SettingsStore& s) { s.setString("eosPort", "99999"); }, nullptr, 8555},
    {"port as text with junk", [](SettingsStore& s) { s.setString("eosPort", "8555abc"); }},
    {"control characters",
     [](SettingsStore& s) {
         s.setString("eosHost", std::string("\x01\x7f\xff\xfe host", 10));
         s.setString("eosPort", std::string("\0", 1));
     }},
    {"blank file path", [](SettingsStore& s) { s.setString("tempolaneFilePath", "   "); }},
    {"file path to nowhere", [](SettingsStore& s) { s.setString("tempolaneFilePath", "/nonexistent/\x01/L.xml"); }},
};

TEST(SettingsFault, GarbageUnderEveryKeyFallsBackAndNothingHangs) {
    for (const Garbage& g : garbage) {
        SCOPED_TRACE(g.name);
        // Options start off: the fallback endpoint may be someone's real console.
        MonitorRig rig(1, {false, false, false});
        rig.settings->remove("eosHost");
        rig.settings->remove("eosPort");
        g.fill(*rig.settings);
        rig.write(showText(numberedShow(2)));

        const auto before = std::chrono::steady_clock::now();
        rig.start();
        rig.poll();
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));

        const std::string host = rig.monitor->eosHost();
        ASSERT_FALSE(host.empty());
        EXPECT_NE(host.front(), ' ');
        EXPECT_NE(host.back(), '\t') << "the host is trimmed";
        EXPECT_GE(rig.monitor->eosPort(), 1);
        if (g.host) { EXPECT_EQ(host, g.host); }
        if (g.port) { EXPECT_EQ(rig.monitor->eosPort(), g.port); }
        EXPECT_FALSE(rig.monitor->optUpdateOnConnect() || rig.monitor->optSyncLabels() ||
                     rig.monitor->optDeleteCues())
            << "an option stored with the wrong type reads as off";
        EXPECT_FALSE(rig.monitor->fileURL().empty());
        if (rig.monitor->fileURL() == rig.file) {
            EXPECT_EQ(rig.eventKinds(), std::vector{Kind::initial}) << "the file is watched whatever else is wrong";
        } else {
            EXPECT_TRUE(rig.eventKinds().empty()) << "a file that is not there has nothing to report";
        }
        EXPECT_TRUE(rig.sentLines().empty());
    }
}

}  // namespace
}  // namespace lanternwick::soak
