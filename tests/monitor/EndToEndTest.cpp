// The monitor and the real Eos client against the console simulator on
// loopback: the marker file is edited step by step on disk and the exact
// command lines that reach the console are checked, in order.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "common/LoopbackConsole.h"
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
        settings->setInteger("eosPort", console.port());
        settings->setBool("optSyncLabels", true);
        settings->setBool("optDeleteCues", true);
    }
    ~MonitorEndToEnd() override {
        monitor.reset();
        std::filesystem::remove_all(directory);
    }

    void start(const std::vector<MarkerSpec>& markers) {
        save(markers);
        monitor = LightingFileMonitor::create({queue, settings, prompt, {}, {}, {}});
        monitor->startMonitoring();
        ASSERT_TRUE(queue->runUntil([this] { return monitor->isEosConnected(); }, 10s));
    }

    // Saves the way editors do: a new file renamed over the old one.
    void save(const std::vector<MarkerSpec>& markers) {
        std::ofstream(directory / "Lighting.xml.tmp", std::ios::binary) << markerFileText(markers);
        std::filesystem::rename(directory / "Lighting.xml.tmp", file);
    }

    // Saves, polls, and returns what this save sent once expectedCount messages arrived.
    std::vector<std::string> saveAndCollect(const std::vector<MarkerSpec>& markers, std::size_t expectedCount) {
        console.clearOutput();
        save(markers);
        monitor->pollOnce();
        return collect(expectedCount);
    }
    std::vector<std::string> collect(std::size_t expectedCount) {
        queue->runUntil([&] { return console.received().size() >= expectedCount; }, 10s);
        // A little longer, so that a message too many would show up too.
        queue->runFor(100ms);
        return console.received();
    }

    testing::LoopbackConsole console;
    const std::filesystem::path directory = std::filesystem::temp_directory_path() / ("lanternwick-e2e-" + Uuid::random().text());
    const std::filesystem::path file = directory / "Lighting.xml";
    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>();
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<testing::ScriptedDeletionPrompt> prompt = std::make_shared<testing::ScriptedDeletionPrompt>();
    std::shared_ptr<LightingFileMonitor> monitor;
};

std::string newcmd(const std::string& line) { return "/eos/user/0/newcmd|" + line; }

TEST_F(MonitorEndToEnd, EditsReachTheConsoleAsExactCommandLines) {
    MarkerSpec a{.cue = "1", .label = "Intro", .position = "10", .fade = "2"};
    MarkerSpec b{.cue = "2", .label = "Verse", .position = "20", .fade = "3"};
    start({a, b});
    EXPECT_THAT(collect(1), ElementsAre("/eos/user/0/key/blind"));
    EXPECT_THAT(monitor->events().at(0).kind, LightingChangeEvent::Kind::initial);

    a.fade = "3";
    b.label = "Song #2";
    EXPECT_THAT(saveAndCollect({a, b}, 2), ElementsAre(newcmd("$ Cue 1 / 1 Time 3 #"), newcmd("$ Cue 1 / 2 Label Song 2 #")));

    a.cue = "5";
    prompt->answers = {{true, false}};
    EXPECT_THAT(saveAndCollect({a}, 5),
                ElementsAre(newcmd("$ Cue 1 / 5 Enter #"), newcmd("$ Cue 1 / 5 Label Intro #"), newcmd("$ Cue 1 / 5 Time 3 #"),
                            newcmd("$ Cue 1 / 5 Timecode 00:00:10:00 #"), newcmd("$ Delete Cue 1 / 2 Enter #")));
    EXPECT_THAT(prompt->questions, ElementsAre("Delete Cue 1/2 from Eos?"));

    a.position = "75.5";
    a.track = "Lights 1/ 01:00:00:00";
    EXPECT_THAT(saveAndCollect({a}, 1), ElementsAre(newcmd("$ Cue 1 / 5 Timecode 01:01:15:15 #")));
    EXPECT_EQ(console.cue(1, "5"), (sim::SimulatedCue{1, "5", "Intro", "3", "01:01:15:15"}));
    EXPECT_FALSE(console.cue(1, "2").has_value());
    EXPECT_EQ(monitor->outgoingOSCMessages().front().valuesText, "$ Cue 1 / 5 Timecode 01:01:15:15 #");

    // Text from the file cannot end a command early and start another.
    a.cue = "5# $ Delete Cue 1 / 5 Enter";
    EXPECT_THAT(saveAndCollect({a}, 0), IsEmpty());
    a.cue = "3";
    a.label = "A # $ Go";
    a.fade = "2 # 1";
    // The fade holding "#" gives no time line; the rest of the cue goes out.
    EXPECT_THAT(saveAndCollect({a}, 3), ElementsAre(newcmd("$ Cue 1 / 3 Enter #"), newcmd("$ Cue 1 / 3 Label A  $ Go #"),
                                                    newcmd("$ Cue 1 / 3 Timecode 01:01:15:15 #")));
    EXPECT_TRUE(console.cue(1, "5").has_value());
    EXPECT_EQ(console.output().find("\"event\":\"refused\""), std::string::npos);
}

}  // namespace
}  // namespace lanternwick
