#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include "monitor/MonitorTestSupport.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::ConfigureCall;
using testing::markerFileText;

class MonitorSettings : public ::testing::Test, public testing::MonitorFixture {};

TEST_F(MonitorSettings, StoredValuesAreNormalisedAndUnusableOnesFallBack) {
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(defaultMarkerFilePath(), std::filesystem::path(entry->pw_dir) / "Documents" / "Tempolane" / "Lighting.xml");

    settings->setString("tempolaneFilePath", " /shows/a b.xml");
    settings->setString("eosHost", "  console.local\n");
    settings->setInteger("eosPort", 65535);
    makeMonitor();
    // The path is used exactly as stored, only a blank one is replaced.
    EXPECT_EQ(monitor->fileURL(), std::filesystem::path(" /shows/a b.xml"));
    EXPECT_THAT(link->configures, ElementsAre(ConfigureCall{"console.local", 65535, false}));
    EXPECT_EQ(link->connectCount, 0);

    settings->setString("tempolaneFilePath", "   ");
    makeMonitor();
    EXPECT_EQ(monitor->fileURL(), defaultMarkerFilePath());
}

TEST_F(MonitorSettings, EndpointEditsAreDebouncedIntoOneApplyThatReconnectsOnlyWhileMonitoring) {
    makeMonitor();
    link->configures.clear();
    const int writesBefore = settings->writeCount();
    for (const std::string host : {"1", "10", "10.0", "   "}) {
        monitor->setEosHost(host);
        queue->advance(500ms);
    }
    monitor->setEosPort(0);
    queue->advance(599ms);
    EXPECT_THAT(link->configures, IsEmpty());
    EXPECT_EQ(settings->writeCount(), writesBefore);
    queue->advance(1ms);
    // A cleared host is the local one, port 0 the default.
    EXPECT_THAT(link->configures, ElementsAre(ConfigureCall{"127.0.0.1", 8555, false}));
    EXPECT_EQ(settings->stringValue("eosHost"), "127.0.0.1");
    EXPECT_EQ(settings->integerValue("eosPort"), 8555);
    // The apply's own write-back must not schedule another apply.
    queue->advance(10s);
    EXPECT_EQ(link->configures.size(), 1U);

    monitor->setEosPort(3033);
    // Starting applies the pending edit at once instead of after the delay.
    monitor->startMonitoring();
    queue->advance(1s);
    EXPECT_THAT(link->configures, ElementsAre(ConfigureCall{"127.0.0.1", 8555, false}, ConfigureCall{"127.0.0.1", 3033, false}));
    monitor->setEosPort(3034);
    queue->advance(600ms);
    EXPECT_EQ(link->configures.back(), (ConfigureCall{"127.0.0.1", 3034, true}));
}

TEST_F(MonitorSettings, SelectFile) {
    const std::filesystem::path other = "/show/Other.xml";
    files->write(other, markerFileText({{.cue = "2"}}));
    files->write("/show/notes.xml", std::string("<notes/>"));
    makeMonitor();
    poll(markerFileText({{.cue = "1"}}));

    // The same file again does nothing, not even a check of its header.
    files->write(markerPath, std::string("garbage"));
    EXPECT_TRUE(monitor->selectFile(markerPath).ok());
    EXPECT_EQ(monitor->events().size(), 1U);
    // A rejected file changes nothing.
    EXPECT_FALSE(monitor->selectFile("/show/notes.xml").ok());
    EXPECT_EQ(monitor->selectFile("/show/absent.xml").error().description(),
              "Unable to read XML file: No such file or directory");
    EXPECT_EQ(settings->stringValue("tempolaneFilePath"), markerPath.string());

    std::vector<MonitorField> told;
    monitor->addObserver([&](MonitorField field) { told.push_back(field); });
    EXPECT_TRUE(monitor->selectFile(other).ok());
    EXPECT_EQ(settings->stringValue("tempolaneFilePath"), other.string());
    ASSERT_EQ(monitor->events().size(), 2U);
    EXPECT_EQ(monitor->events()[0].kind, LightingChangeEvent::Kind::initial);
    EXPECT_THAT(told, ElementsAre(MonitorField::fileURL, MonitorField::events, MonitorField::fileVerdict));
}

TEST_F(MonitorSettings, MessageLogsKeepTheNewest200) {
    makeMonitor();
    for (int i = 0; i < 201; ++i) {
        link->callbacks.onIncomingCueMessage(IncomingOSCMessage{{}, {}, "/eos/out/get/cue/1/x", "", 1, std::to_string(i)});
        link->callbacks.onOutgoingMessage(OutgoingOSCMessage{{}, {}, "/m", std::to_string(i)});
    }
    ASSERT_EQ(monitor->incomingOSCMessages().size(), 200U);
    EXPECT_EQ(monitor->incomingOSCMessages().front().cueNumber + "," + monitor->incomingOSCMessages().back().cueNumber, "200,1");
    ASSERT_EQ(monitor->outgoingOSCMessages().size(), 200U);
    EXPECT_EQ(monitor->outgoingOSCMessages().back().valuesText, "1");
}

TEST_F(MonitorSettings, ObserverRemovedWhileBeingToldIsNotCalledAgain) {
    makeMonitor();
    int second = 0;
    LightingFileMonitor::ObserverId secondId = 0;
    monitor->addObserver([&](MonitorField) { monitor->removeObserver(secondId); });
    secondId = monitor->addObserver([&](MonitorField) { ++second; });
    monitor->setOptSyncLabels(true);
    EXPECT_EQ(second, 0);
}

}  // namespace
}  // namespace lanternwick
