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
using testing::MarkerSpec;
using testing::markerFileText;

class MonitorSettings : public ::testing::Test, public testing::MonitorFixture {};

TEST_F(MonitorSettings, EmptyStoreGivesDefaults) {
    settings->remove("tempolaneFilePath");
    makeMonitor();
    EXPECT_EQ(monitor->eosHost(), "127.0.0.1");
    EXPECT_EQ(monitor->eosPort(), 8555);
    EXPECT_FALSE(monitor->optUpdateOnConnect());
    EXPECT_FALSE(monitor->optSyncLabels());
    EXPECT_FALSE(monitor->optDeleteCues());
    EXPECT_FALSE(monitor->isEosConnected());
    EXPECT_EQ(monitor->cueDeletionPromptPolicy(), CueDeletionPromptPolicy::askEveryTime);
    EXPECT_EQ(monitor->fileURL(), defaultMarkerFilePath());
    EXPECT_THAT(link->configures, ElementsAre(ConfigureCall{"127.0.0.1", 8555, false}));
    EXPECT_EQ(link->connectCount, 0);
}

TEST(DefaultMarkerFile, UnderTheHomeDirectoryOfTheUserDatabase) {
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(defaultMarkerFilePath(),
              std::filesystem::path(entry->pw_dir) / "Documents" / "Tempolane" / "Lighting.xml");
}

TEST_F(MonitorSettings, StoredValuesAreLoadedAndNormalised) {
    settings->setString("tempolaneFilePath", " /shows/a b.xml");
    settings->setString("eosHost", "  console.local\n");
    settings->setInteger("eosPort", 3032);
    settings->setBool("optUpdateOnConnect", true);
    settings->setBool("optSyncLabels", true);
    settings->setString("optDeleteCues", "true");
    makeMonitor();
    // The path is used exactly as stored, only a blank one is replaced.
    EXPECT_EQ(monitor->fileURL(), std::filesystem::path(" /shows/a b.xml"));
    EXPECT_EQ(monitor->eosHost(), "console.local");
    EXPECT_EQ(monitor->eosPort(), 3032);
    EXPECT_TRUE(monitor->optUpdateOnConnect());
    EXPECT_TRUE(monitor->optSyncLabels());
    EXPECT_FALSE(monitor->optDeleteCues());
    EXPECT_THAT(link->configures, ElementsAre(ConfigureCall{"console.local", 3032, false}));
}

TEST_F(MonitorSettings, OutOfRangeOrBlankValuesFallBack) {
    for (const std::int64_t port : {std::int64_t{70000}, std::int64_t{-1}, std::int64_t{0}, std::int64_t{65536}}) {
        settings->setInteger("eosPort", port);
        settings->setString("eosHost", " \t ");
        settings->setString("tempolaneFilePath", "   ");
        makeMonitor();
        EXPECT_EQ(monitor->eosPort(), 8555) << port;
        EXPECT_EQ(monitor->eosHost(), "127.0.0.1");
        EXPECT_EQ(monitor->fileURL(), defaultMarkerFilePath());
    }
    settings->setInteger("eosPort", 65535);
    makeMonitor();
    EXPECT_EQ(monitor->eosPort(), 65535);
    settings->setInteger("eosPort", 1);
    makeMonitor();
    EXPECT_EQ(monitor->eosPort(), 1);
}

TEST_F(MonitorSettings, HostEditsAreDebouncedIntoOneApply) {
    makeMonitor();
    link->configures.clear();
    const int writesBefore = settings->writeCount();
    for (const std::string host : {"1", "10", "10.", "10.0", "10.0.0.7"}) {
        monitor->setEosHost(host);
        queue->advance(500ms);
    }
    EXPECT_THAT(link->configures, IsEmpty());
    EXPECT_EQ(settings->writeCount(), writesBefore);
    queue->advance(99ms);
    EXPECT_THAT(link->configures, IsEmpty());
    queue->advance(1ms);
    EXPECT_THAT(link->configures, ElementsAre(ConfigureCall{"10.0.0.7", 8555, false}));
    EXPECT_EQ(settings->stringValue("eosHost"), "10.0.0.7");
    EXPECT_EQ(settings->integerValue("eosPort"), 8555);
    queue->advance(10s);
    EXPECT_EQ(link->configures.size(), 1U);
}

TEST_F(MonitorSettings, ClearedHostBecomesLocalhostAndZeroPortTheDefault) {
    makeMonitor();
    std::vector<MonitorField> told;
    monitor->addObserver([&](MonitorField field) { told.push_back(field); });
    monitor->setEosHost("   ");
    monitor->setEosPort(0);
    queue->advance(600ms);
    EXPECT_EQ(monitor->eosHost(), "127.0.0.1");
    EXPECT_EQ(monitor->eosPort(), 8555);
    EXPECT_EQ(settings->stringValue("eosHost"), "127.0.0.1");
    EXPECT_EQ(settings->integerValue("eosPort"), 8555);
    EXPECT_THAT(told, ElementsAre(MonitorField::eosHost, MonitorField::eosPort, MonitorField::eosHost,
                                  MonitorField::eosPort));
    // The apply's own write-back must not schedule another apply.
    queue->advance(5s);
    EXPECT_EQ(link->configures.size(), 2U);
}

TEST_F(MonitorSettings, OptionsArePersistedAtOnceWithoutTouchingTheLink) {
    makeMonitor();
    link->configures.clear();
    monitor->setOptSyncLabels(true);
    EXPECT_EQ(settings->boolValue("optSyncLabels"), true);
    monitor->setOptDeleteCues(true);
    monitor->setOptDeleteCues(false);
    EXPECT_EQ(settings->boolValue("optDeleteCues"), false);
    monitor->setOptUpdateOnConnect(true);
    EXPECT_EQ(settings->boolValue("optUpdateOnConnect"), true);
    queue->advance(5s);
    EXPECT_THAT(link->configures, IsEmpty());
    EXPECT_EQ(link->connectCount, 0);
}

TEST_F(MonitorSettings, EndpointEditReconnectsOnlyWhileMonitoring) {
    makeMonitor();
    monitor->setEosPort(3032);
    queue->advance(600ms);
    EXPECT_EQ(link->configures.back(), (ConfigureCall{"127.0.0.1", 3032, false}));

    files->write(markerPath, markerFileText({}));
    monitor->setEosPort(3033);
    // Starting applies the pending edit at once instead of after the delay.
    monitor->startMonitoring();
    EXPECT_EQ(link->configures.back(), (ConfigureCall{"127.0.0.1", 3033, false}));
    const auto applied = link->configures.size();
    queue->advance(1s);
    EXPECT_EQ(link->configures.size(), applied);

    monitor->setEosPort(3034);
    queue->advance(600ms);
    EXPECT_EQ(link->configures.back(), (ConfigureCall{"127.0.0.1", 3034, true}));
}

TEST_F(MonitorSettings, SelectFile) {
    const std::filesystem::path other = "/show/Other.xml";
    files->write(markerPath, markerFileText({{.cue = "1"}}));
    files->write(other, markerFileText({{.cue = "2"}}));
    files->write("/show/notes.xml", "<notes/>");
    makeMonitor();
    monitor->pollOnce();
    ASSERT_EQ(monitor->events().size(), 1U);

    // The same file again does nothing, not even a check of its header.
    files->write(markerPath, "garbage");
    EXPECT_TRUE(monitor->selectFile(markerPath).ok());
    EXPECT_EQ(monitor->events().size(), 1U);

    const auto rejected = monitor->selectFile("/show/notes.xml");
    ASSERT_FALSE(rejected.ok());
    EXPECT_EQ(rejected.error(), TempolaneFileValidationError::invalidTempolaneXML());
    EXPECT_EQ(monitor->fileURL(), markerPath);
    EXPECT_EQ(settings->stringValue("tempolaneFilePath"), markerPath.string());

    const auto unreadable = monitor->selectFile("/show/absent.xml");
    ASSERT_FALSE(unreadable.ok());
    EXPECT_EQ(unreadable.error().description(), "Unable to read XML file: No such file or directory");

    std::vector<MonitorField> told;
    monitor->addObserver([&](MonitorField field) { told.push_back(field); });
    EXPECT_TRUE(monitor->selectFile(other).ok());
    EXPECT_EQ(monitor->fileURL(), other);
    EXPECT_EQ(settings->stringValue("tempolaneFilePath"), other.string());
    ASSERT_EQ(monitor->events().size(), 2U);
    EXPECT_EQ(monitor->events()[0].kind, LightingChangeEvent::Kind::initial);
    EXPECT_THAT(told, ElementsAre(MonitorField::fileURL, MonitorField::events));
}

TEST_F(MonitorSettings, MessageLogsKeepTheNewest200) {
    makeMonitor();
    for (int i = 0; i < 201; ++i) {
        monitor->appendIncomingMessage(IncomingOSCMessage{{}, {}, "/eos/out/get/cue/1/" + std::to_string(i), "", 1,
                                                          std::to_string(i)});
        monitor->appendOutgoingMessage(OutgoingOSCMessage{{}, {}, "/m", std::to_string(i)});
    }
    ASSERT_EQ(monitor->incomingOSCMessages().size(), 200U);
    EXPECT_EQ(monitor->incomingOSCMessages().front().cueNumber, "200");
    EXPECT_EQ(monitor->incomingOSCMessages().back().cueNumber, "1");
    ASSERT_EQ(monitor->outgoingOSCMessages().size(), 200U);
    EXPECT_EQ(monitor->outgoingOSCMessages().front().valuesText, "200");
    EXPECT_EQ(monitor->outgoingOSCMessages().back().valuesText, "1");
}

TEST_F(MonitorSettings, LinkCallbacksReachTheMonitor) {
    files->write(markerPath, markerFileText({{.cue = "7", .label = "Intro", .position = "12", .fade = "3"},
                                              {.cue = "0"},
                                              {.cue = "8", .track = "Side 2/ B"}}));
    makeMonitor();
    std::vector<MonitorField> told;
    monitor->addObserver([&](MonitorField field) { told.push_back(field); });

    link->callbacks.onConnectionStateChanged(true);
    EXPECT_TRUE(monitor->isEosConnected());
    link->callbacks.onConnectionEstablished();
    EXPECT_THAT(takeSent(), IsEmpty());

    monitor->setOptUpdateOnConnect(true);
    monitor->setOptSyncLabels(true);
    link->callbacks.onConnectionEstablished();
    EXPECT_THAT(takeSent(), ElementsAre("cmd Cue 1 / 7 Time 3 Timecode 00:00:12:00 Label Intro #",
                                        "cmd Cue 2 / 8 Time 0 Timecode 00:00:00:00 #"));
    // The update reads the file afresh and leaves the snapshot alone.
    EXPECT_THAT(monitor->events(), IsEmpty());
    link->callbacks.onConnectionEstablished();
    EXPECT_EQ(takeSent().size(), 2U);

    link->callbacks.onIncomingCueMessage(IncomingOSCMessage{{}, {}, "/eos/out/get/cue/1/7", "Intro", 1, "7"});
    link->callbacks.onOutgoingMessage(OutgoingOSCMessage{{}, {}, "/eos/user/0/key/blind", "(no values)"});
    link->callbacks.onConnectionStateChanged(false);
    EXPECT_FALSE(monitor->isEosConnected());
    EXPECT_EQ(monitor->incomingOSCMessages().size(), 1U);
    EXPECT_EQ(monitor->outgoingOSCMessages().size(), 1U);
    EXPECT_THAT(told, ElementsAre(MonitorField::isEosConnected, MonitorField::optUpdateOnConnect,
                                  MonitorField::optSyncLabels, MonitorField::incomingOSCMessages,
                                  MonitorField::outgoingOSCMessages, MonitorField::isEosConnected));
}

TEST_F(MonitorSettings, UpdateOnConnectIgnoresUnreadableOrUnparsableFiles) {
    settings->setBool("optUpdateOnConnect", true);
    makeMonitor();
    link->callbacks.onConnectionEstablished();
    files->write(markerPath, "<Tempolane><Marker");
    link->callbacks.onConnectionEstablished();
    EXPECT_THAT(takeSent(), IsEmpty());
}

TEST_F(MonitorSettings, ObserverRemovedWhileBeingToldIsNotCalledAgain) {
    makeMonitor();
    int first = 0;
    int second = 0;
    LightingFileMonitor::ObserverId secondId = 0;
    monitor->addObserver([&](MonitorField) {
        ++first;
        monitor->removeObserver(secondId);
    });
    secondId = monitor->addObserver([&](MonitorField) { ++second; });
    monitor->setOptSyncLabels(true);
    monitor->setOptSyncLabels(false);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 0);
}

}  // namespace
}  // namespace lanternwick
