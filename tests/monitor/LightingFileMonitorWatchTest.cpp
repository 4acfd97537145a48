// Saves the file system reports reach the poll at once, without the clock
// moving; the one-second poll stays for whatever is not reported.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "monitor/MonitorTestSupport.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using K = LightingChangeEvent::Kind;
using testing::markerFileText;

const std::string fileA = markerFileText({{.cue = "1", .label = "Intro", .fade = "2"}});
const std::string fileB = markerFileText({{.cue = "1", .label = "Intro", .fade = "3"}});

class MonitorWatch : public ::testing::Test, public testing::MonitorFixture {};

TEST_F(MonitorWatch, ANoticeRunsTheSamePollAtOnceAndABacklogOfNoticesIsOnePoll) {
    makeMonitor();
    files->write(markerPath, fileA);
    monitor->startMonitoring();
    ASSERT_THAT(watcher->watched, ElementsAre(markerPath));
    const auto start = queue->now();

    files->write(markerPath, fileB);
    for (int i = 0; i < 5; ++i) watcher->changed();
    queue->runFor(0ms);
    EXPECT_EQ(files->readCount, 2);
    EXPECT_THAT(eventKindsOldestFirst(), ElementsAre(K::initial, K::modified));
    EXPECT_EQ(link->sent.size(), 1U);
    EXPECT_EQ(queue->now(), start);

    watcher->changed();
    queue->runFor(0ms);
    EXPECT_EQ(files->readCount, 3) << "a notice after the backlog ran is a poll of its own";
    EXPECT_EQ(monitor->events().size(), 2U) << "an unchanged file records nothing";

    queue->advance(1s);
    EXPECT_EQ(files->readCount, 4) << "the timed poll goes on";
}

TEST_F(MonitorWatch, TheWatchFollowsTheFileFromTheStartToTheMonitorsEnd) {
    const std::filesystem::path second = "/show/Second.xml";
    const std::filesystem::path third = "/other/Third.xml";
    files->write(second, fileA);
    files->write(third, fileB);
    makeMonitor();
    ASSERT_TRUE(monitor->selectFile(second));
    EXPECT_TRUE(watcher->watched.empty()) << "nothing is watched before monitoring starts";

    monitor->startMonitoring();
    ASSERT_TRUE(monitor->selectFile(third));
    EXPECT_THAT(watcher->watched, ElementsAre(second, third));
    EXPECT_EQ(watcher->stopped, 1);

    auto lastNotice = watcher->changed;
    monitor.reset();
    EXPECT_EQ(watcher->stopped, 2);
    const int reads = files->readCount;
    lastNotice();
    queue->runFor(0ms);
    EXPECT_EQ(files->readCount, reads);
}

TEST_F(MonitorWatch, AnUnwatchableFolderIsNotedOnceAndTheTimedPollStillSeesTheSave) {
    watcher->unavailable = "Saves in /show are not reported by the system (Permission denied)";
    makeMonitor();
    files->write(markerPath, fileA);
    monitor->startMonitoring();
    EXPECT_EQ(monitor->fileWatchNote(), watcher->unavailable);
    EXPECT_THAT(eventKindsOldestFirst(), ElementsAre(K::initial)) << "a missing watch is no event";

    files->write(markerPath, fileB);
    queue->advance(1s);
    EXPECT_THAT(eventKindsOldestFirst(), ElementsAre(K::initial, K::modified));

    watcher->unavailable.clear();
    files->write("/other/Lighting.xml", fileA);
    ASSERT_TRUE(monitor->selectFile("/other/Lighting.xml"));
    EXPECT_EQ(monitor->fileWatchNote(), "");
}

// The real watcher on a real folder. No timer ticks here, so every event
// below came from a notice.
class MonitorOnDisk : public ::testing::Test, public testing::MonitorFixture {
protected:
    MonitorOnDisk() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lanternwick-watch-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        folder = root / "show";
        std::filesystem::create_directory(folder);
        file = folder / "Lighting.xml";
        settings->setString("tempolaneFilePath", file.string());
        auto d = dependencies();
        d.fileSystem = std::make_shared<LocalFileSystem>();
        d.pollTimer = [](MainQueue::Duration, std::function<void()>) { return CancelHandle(); };
        d.fileWatcher = inotifyFileWatcher(SerialQueue("test.watch"), {.retry = 20ms});
        write(file, fileA);
        monitor = LightingFileMonitor::create(std::move(d));
    }
    ~MonitorOnDisk() override {
        monitor.reset();
        std::filesystem::remove_all(root);
    }

    static void write(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }
    bool eventsReach(std::size_t count) {
        return queue->runUntil([&] { return monitor->events().size() >= count; }, 3s);
    }

    std::filesystem::path root, folder, file;
};

TEST_F(MonitorOnDisk, AtomicSavesDeletionsReturnsAFolderSwapAndAFileSwitchKeepTheWatch) {
    const auto other = root / "Other.xml";
    const auto aside = root / "show.old";
    const struct Step { const char* name; std::function<void()> act; K kind; } steps[] = {
        {"atomic save", [&] { write(folder / ".Lighting.xml.tmp", fileB); std::filesystem::rename(folder / ".Lighting.xml.tmp", file); }, K::modified},
        {"deletion", [&] { std::filesystem::remove(file); }, K::deleted},
        {"re-creation", [&] { write(file, fileA); }, K::created},
        {"write in place", [&] { write(file, fileB); }, K::modified},
        {"folder moved away", [&] { std::filesystem::rename(folder, aside); }, K::deleted},
        {"new folder with the file", [&] { std::filesystem::create_directory(folder); write(file, fileA); }, K::created},
        {"the old folder's file written", [&] { write(aside / "Lighting.xml", fileB); write(file, fileB); }, K::modified},
        {"switch to another file", [&] { write(other, fileA); ASSERT_TRUE(monitor->selectFile(other)); }, K::initial},
        {"the new file saved", [&] { write(other, fileB); }, K::modified},
    };
    monitor->startMonitoring();
    ASSERT_EQ(monitor->fileWatchNote(), "");
    const auto start = queue->now();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const std::size_t before = monitor->events().size();
        step.act();
        ASSERT_TRUE(eventsReach(before + 1));
        EXPECT_EQ(monitor->events().front().kind, step.kind);
    }
    EXPECT_EQ(monitor->events().size(), std::size(steps) + 1) << "one event per step, no more";
    EXPECT_LT(queue->now() - start, 1s);
}

}  // namespace
}  // namespace lanternwick
