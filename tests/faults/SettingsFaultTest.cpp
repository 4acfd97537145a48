// A settings store holding garbage under every key: wrong types, numbers out
// of range, control characters, a path to nowhere. The monitor must start,
// fall back to the defaults where the value is unusable, keep watching and
// never hang on a host that cannot be reached.

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "FaultConsole.h"
#include "FaultTestSupport.h"
#include "MonitorHarness.h"

namespace lanternwick::faults {
namespace {

using Kind = LightingChangeEvent::Kind;

struct Garbage {
    const char* name;
    void (*fill)(SettingsStore&);
};

const Garbage garbage[] = {
    {"wrong types",
     [](SettingsStore& s) {
         s.setBool("eosHost", true);
         s.setString("eosPort", "eight thousand");
         s.setInteger("optUpdateOnConnect", 1);
         s.setString("optSyncLabels", "true");
         s.setString("optDeleteCues", "yes");
     }},
    {"out of range",
     [](SettingsStore& s) {
         s.setString("eosHost", " \n\t ");
         s.setInteger("eosPort", std::numeric_limits<std::int64_t>::min());
         s.setInteger("optUpdateOnConnect", -1);
     }},
    {"port above the range", [](SettingsStore& s) { s.setInteger("eosPort", 65536); }},
    {"port as text with junk", [](SettingsStore& s) { s.setString("eosPort", "8555abc"); }},
    {"control characters",
     [](SettingsStore& s) {
         s.setString("eosHost", std::string("\x01\x7f\xff\xfe host", 10));
         s.setString("eosPort", std::string("\0", 1));
     }},
};

TEST(SettingsFault, GarbageUnderEveryKeyFallsBackAndNothingHangs) {
    for (const Garbage& g : garbage) {
        SCOPED_TRACE(g.name);
        // Options off: the fallback endpoint may be someone's real console.
        MonitorHarness harness(1, {false, false, false});
        harness.settings->remove("eosHost");
        harness.settings->remove("eosPort");
        g.fill(*harness.settings);
        harness.write(show(numberedShow(2)));

        const auto before = std::chrono::steady_clock::now();
        harness.start();
        harness.settle(std::chrono::milliseconds(200));
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));

        const std::string host = harness.monitor->eosHost();
        EXPECT_FALSE(host.empty());
        EXPECT_NE(host.front(), ' ');
        EXPECT_NE(host.back(), '\t') << "the host is trimmed";
        EXPECT_GE(harness.monitor->eosPort(), 1);
        ASSERT_FALSE(harness.monitor->events().empty()) << "the file is watched whatever the settings say";
        EXPECT_EQ(harness.monitor->events().front().kind, Kind::initial);
    }
}

TEST(SettingsFault, OptionsStoredWithTheWrongTypeReadAsOff) {
    MonitorHarness harness(1);
    harness.settings->setInteger("optUpdateOnConnect", 1);
    harness.settings->setString("optSyncLabels", "true");
    harness.settings->setString("optDeleteCues", "1");
    harness.settings->setString("eosPort", "99999");
    harness.settings->setInteger("eosHost", 42);
    harness.write(show(numberedShow(1)));
    harness.start();
    EXPECT_FALSE(harness.monitor->optUpdateOnConnect());
    EXPECT_FALSE(harness.monitor->optSyncLabels());
    EXPECT_FALSE(harness.monitor->optDeleteCues());
    EXPECT_EQ(harness.monitor->eosPort(), 8555);
    EXPECT_EQ(harness.monitor->eosHost(), "42");
}

TEST(SettingsFault, AMissingOrStrangeFilePathIsWatchedWithoutComplaint) {
    FaultConsole console;
    for (const std::string& path : {std::string("   "), std::string("/nonexistent/\x01/Lighting.xml"), std::string("")}) {
        SCOPED_TRACE(path);
        MonitorHarness harness(console.port());
        harness.settings->setString("tempolaneFilePath", path);
        harness.start();
        harness.poll();
        harness.poll();
        EXPECT_FALSE(harness.monitor->fileURL().empty());
        for (const auto& event : harness.monitor->events()) {
            EXPECT_NE(event.kind, Kind::modified);
        }
        EXPECT_TRUE(harness.sentLines().empty());
    }
}

}  // namespace
}  // namespace lanternwick::faults
