// The monitor and the real Eos client against a small SLIP/OSC server on
// loopback: the marker file is edited step by step on disk and the exact
// command lines that reach the "console" are checked, in order.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "eos/SlipOSCTestServer.h"
#include "monitor/MonitorTestSupport.h"
#include "support/Uuid.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::MarkerSpec;
using testing::markerFileText;

class MonitorEndToEnd : public ::testing::Test {
protected:
    MonitorEndToEnd() {
        std::filesystem::create_directories(directory);
        settings->setString("tempolaneFilePath", file.string());
        settings->setString("eosHost", "127.0.0.1");
        settings->setInteger("eosPort", server.port());
        settings->setBool("optSyncLabels", true);
        settings->setBool("optDeleteCues", true);
    }

    ~MonitorEndToEnd() override {
        monitor.reset();
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    void start() {
        LightingFileMonitorDependencies dependencies;
        dependencies.mainQueue = queue;
        dependencies.settings = settings;
        dependencies.deletionPrompt = prompt;
        monitor = LightingFileMonitor::create(std::move(dependencies));
        monitor->startMonitoring();
        ASSERT_TRUE(waitFor([this] { return monitor->isEosConnected() && !server.messages().empty(); }));
    }

    // Saves the way editors do: a new file renamed over the old one.
    void save(const std::string& text) {
        const auto temporary = directory / "Lighting.xml.tmp";
        {
            std::ofstream out(temporary, std::ios::binary);
            out << text;
        }
        std::filesystem::rename(temporary, file);
    }

    bool waitFor(const std::function<bool()>& condition) { return queue->runUntil(condition, 10s); }

    // Saves, polls, and returns the command lines that this save sent.
    std::vector<std::string> saveAndCollect(const std::string& text, std::size_t expectedLines) {
        const std::size_t before = server.commandLines().size();
        save(text);
        monitor->pollOnce();
        waitFor([&] { return server.commandLines().size() >= before + expectedLines; });
        // A little longer, so that a line too many would show up too.
        queue->runFor(100ms);
        const auto all = server.commandLines();
        return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
    }

    testing::SlipOSCTestServer server;
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("lanternwick-e2e-" + Uuid::random().text());
    const std::filesystem::path file = directory / "Lighting.xml";
    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>();
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<testing::ScriptedDeletionPrompt> prompt = std::make_shared<testing::ScriptedDeletionPrompt>();
    std::shared_ptr<LightingFileMonitor> monitor;
};

MarkerSpec intro() { return {.cue = "1", .label = "Intro", .position = "10", .fade = "2"}; }
MarkerSpec verse() { return {.cue = "2", .label = "Verse", .position = "20", .fade = "3"}; }

TEST_F(MonitorEndToEnd, EditsReachTheConsoleAsExactCommandLines) {
    MarkerSpec a = intro();
    MarkerSpec b = verse();
    save(markerFileText({a, b}));
    start();
    EXPECT_THAT(server.messageTexts(), ElementsAre("/eos/user/0/key/blind"));
    ASSERT_EQ(monitor->events().size(), 1U);
    EXPECT_EQ(monitor->events()[0].kind, LightingChangeEvent::Kind::initial);

    a.fade = "3";
    EXPECT_THAT(saveAndCollect(markerFileText({a, b}), 1), ElementsAre("$ Cue 1 / 1 Time 3 #"));

    b.label = "Song #2";
    EXPECT_THAT(saveAndCollect(markerFileText({a, b}), 1), ElementsAre("$ Cue 1 / 2 Label Song 2 #"));

    a.cue = "5";
    EXPECT_THAT(saveAndCollect(markerFileText({a, b}), 4),
                ElementsAre("$ Cue 1 / 5 Enter #", "$ Cue 1 / 5 Label Intro #", "$ Cue 1 / 5 Time 3 #",
                            "$ Cue 1 / 5 Timecode 00:00:10:00 #"));

    prompt->answers = {{true, false}};
    EXPECT_THAT(saveAndCollect(markerFileText({a}), 1), ElementsAre("$ Delete Cue 1 / 2 Enter #"));
    EXPECT_THAT(prompt->questions, ElementsAre("Delete Cue 1/2 from Eos?"));

    a.position = "75.5";
    a.track = "Lights 1/ 01:00:00:00";
    EXPECT_THAT(saveAndCollect(markerFileText({a}), 1), ElementsAre("$ Cue 1 / 5 Timecode 01:01:15:15 #"));

    EXPECT_EQ(monitor->outgoingOSCMessages().front().valuesText, "$ Cue 1 / 5 Timecode 01:01:15:15 #");
    EXPECT_EQ(monitor->outgoingOSCMessages().size(), server.messages().size());
}

TEST_F(MonitorEndToEnd, HalfWrittenSaveStillDeliversItsEdit) {
    MarkerSpec a = intro();
    save(markerFileText({a, verse()}));
    start();

    a.fade = "4";
    const std::string edited = markerFileText({a, verse()});
    EXPECT_THAT(saveAndCollect(edited.substr(0, edited.size() - 40), 0), IsEmpty());
    EXPECT_THAT(saveAndCollect(edited, 1), ElementsAre("$ Cue 1 / 1 Time 4 #"));
}

TEST_F(MonitorEndToEnd, HostileCueIdsAndLabelsStartNoOtherCommand) {
    MarkerSpec a = intro();
    save(markerFileText({a}));
    start();
    a.cue = "1# $ Delete Cue 1 / 1 Enter";
    EXPECT_THAT(saveAndCollect(markerFileText({a}), 0), IsEmpty());
    a.cue = "3";
    a.label = "A # $ Go";
    a.fade = "2 # 1";
    // The fade holding "#" gives no time line; the rest of the cue goes out.
    EXPECT_THAT(saveAndCollect(markerFileText({a}), 3),
                ElementsAre("$ Cue 1 / 3 Enter #", "$ Cue 1 / 3 Label A  $ Go #", "$ Cue 1 / 3 Timecode 00:00:10:00 #"));
}

TEST_F(MonitorEndToEnd, ReconnectionSendsTheWholeFileWhenAsked) {
    settings->setBool("optUpdateOnConnect", true);
    MarkerSpec a = intro();
    MarkerSpec b = verse();
    b.track = "Stage 2/ 00:00:10:00";
    save(markerFileText({a, b, {.cue = "0"}}));
    start();
    // The connection came up after the first poll's queries were lost; the
    // update on connect sent the file.
    ASSERT_TRUE(waitFor([this] { return server.commandLines().size() >= 2; }));
    queue->runFor(100ms);
    const std::vector<std::string> wholeFile{"Cue 1 / 1 Time 2 Timecode 00:00:10:00 Label Intro #",
                                             "Cue 2 / 2 Time 3 Timecode 00:00:30:00 Label Verse #"};
    EXPECT_EQ(server.commandLines(), wholeFile);

    server.clearMessages();
    server.dropConnections();
    ASSERT_TRUE(waitFor([this] { return !monitor->isEosConnected(); }));

    // The first line after the drop only starts the new connection.
    a.fade = "5";
    save(markerFileText({a, b, {.cue = "0"}}));
    monitor->pollOnce();
    ASSERT_TRUE(waitFor([this] { return server.commandLines().size() >= 2; }));
    queue->runFor(100ms);
    EXPECT_THAT(server.messageTexts(),
                ElementsAre("/eos/user/0/key/blind",
                            "/eos/user/0/newcmd|Cue 1 / 1 Time 5 Timecode 00:00:10:00 Label Intro #",
                            "/eos/user/0/newcmd|Cue 2 / 2 Time 3 Timecode 00:00:30:00 Label Verse #"));
    EXPECT_TRUE(monitor->isEosConnected());
}

TEST_F(MonitorEndToEnd, SelectingAnotherFileQueriesItsCuesWhileConnected) {
    settings->setBool("optUpdateOnConnect", true);
    save(markerFileText({}));
    start();
    const auto other = directory / "Other.xml";
    {
        std::ofstream out(other, std::ios::binary);
        out << markerFileText({{.cue = "12"}, {.cue = "12"}, {.cue = "4", .track = "Side 3/ x"}});
    }
    server.clearMessages();
    ASSERT_TRUE(monitor->selectFile(other).ok());
    ASSERT_TRUE(waitFor([this] { return server.messages().size() >= 2; }));
    queue->runFor(100ms);
    EXPECT_THAT(server.messageTexts(), ElementsAre("/eos/get/cue/1/12", "/eos/get/cue/3/4"));

    server.sendToNewest(OSCMessage("/eos/out/get/cue/1/12", {OSCValue("Intro"), OSCValue(std::int32_t{2})}));
    ASSERT_TRUE(waitFor([this] { return !monitor->incomingOSCMessages().empty(); }));
    EXPECT_EQ(monitor->incomingOSCMessages()[0].valuesText, "Intro, 2");
    EXPECT_EQ(monitor->incomingOSCMessages()[0].cueNumber, "12");
}

TEST_F(MonitorEndToEnd, PortEditReconnectsToTheNewConsole) {
    save(markerFileText({intro()}));
    start();
    testing::SlipOSCTestServer other;
    monitor->setEosPort(other.port());
    ASSERT_TRUE(waitFor([&] { return other.connectionCount() == 1 && monitor->isEosConnected(); }));
    EXPECT_EQ(settings->integerValue("eosPort"), other.port());
    MarkerSpec a = intro();
    a.fade = "9";
    save(markerFileText({a}));
    monitor->pollOnce();
    ASSERT_TRUE(waitFor([&] { return other.commandLines().size() == 1; }));
    EXPECT_THAT(other.commandLines(), ElementsAre("$ Cue 1 / 1 Time 9 #"));
    EXPECT_THAT(server.commandLines(), IsEmpty());
}

}  // namespace
}  // namespace lanternwick
