// Marker files that misbehave while the monitor watches them: caught half
// written, replaced by rename, deleted and recreated, unreadable, holding
// invalid UTF-8. Each runs end to end against the simulated console; the
// console must end up with what the finished file says, and never get a
// command the file does not ask for.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FaultConsole.h"
#include "FaultTestSupport.h"
#include "MonitorHarness.h"

namespace lanternwick::faults {
namespace {

using Kind = LightingChangeEvent::Kind;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class MarkerFileFault : public ::testing::Test {
protected:
    void SetUp() override {
        harness.write(show(markers));
        harness.start();
        ASSERT_TRUE(harness.waitConnected());
        ASSERT_TRUE(harness.runUntil([&] { return console.cues() == expectedCues(markers); }))
            << "the update on connect did not fill the console";
        linesBefore = harness.sentLines().size();
    }

    std::vector<std::string> linesSinceStart() const {
        const auto lines = harness.sentLines();
        return {lines.begin() + static_cast<std::ptrdiff_t>(linesBefore), lines.end()};
    }

    std::vector<MarkerSpec> markers = numberedShow(3);
    FaultConsole console;
    MonitorHarness harness{console.port()};
    std::size_t linesBefore = 0;
};

TEST_F(MarkerFileFault, HalfWrittenSaveStillDeliversItsEdits) {
    std::vector<MarkerSpec> edited = markers;
    edited[1].fade = "5";
    edited[2].label = "Finale";
    const std::string finished = show(edited);

    harness.write(finished.substr(0, finished.size() / 2));
    harness.poll();
    harness.write(finished.substr(0, finished.size() - 20));
    harness.poll();
    EXPECT_THAT(linesSinceStart(), IsEmpty()) << "a half-written file must not send anything";

    harness.write(finished);
    harness.poll();
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 2 Time 5 #", "$ Cue 1 / 3 Label Finale #"));
    ASSERT_TRUE(harness.runUntil([&] { return console.cues() == expectedCues(edited); }));
    EXPECT_THAT(harness.eventKinds(), ElementsAre(Kind::initial, Kind::modified, Kind::modified, Kind::modified));
    EXPECT_FALSE(hasRefusals(console.log()));
}

TEST_F(MarkerFileFault, AtomicReplaceIsSeenAndAnIdenticalOneIsNot) {
    std::vector<MarkerSpec> edited = markers;
    edited[0].position = "15";
    harness.replaceAtomically(show(edited));
    harness.poll();
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 1 Timecode 00:00:15:00 #"));

    harness.replaceAtomically(show(edited));
    harness.poll();
    EXPECT_EQ(harness.monitor->events().size(), 2u) << "the same content under a new inode is no change";
    ASSERT_TRUE(harness.runUntil([&] { return console.cues() == expectedCues(edited); }));
}

TEST_F(MarkerFileFault, DeletedFileDeletesNoCueAndItsReturnIsWatchedAgain) {
    std::filesystem::remove(harness.file);
    harness.poll();
    harness.poll();
    EXPECT_THAT(harness.eventKinds(), ElementsAre(Kind::initial, Kind::deleted));
    EXPECT_THAT(linesSinceStart(), IsEmpty()) << "a vanished file says nothing about the cues";

    std::vector<MarkerSpec> returned = markers;
    returned.pop_back();
    harness.write(show(returned));
    harness.poll();
    EXPECT_THAT(harness.eventKinds(), ElementsAre(Kind::initial, Kind::deleted, Kind::created));
    EXPECT_THAT(linesSinceStart(), IsEmpty()) << "a recreated file is a first snapshot, not a diff";

    returned[0].label = "Opening";
    harness.write(show(returned));
    harness.poll();
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 1 Label Opening #"));
    EXPECT_FALSE(hasRefusals(console.log()));
}

TEST_F(MarkerFileFault, UnreadableFileIsReportedOnceAndItsEditsArriveWhenReadable) {
    // A directory in the file's place fails to read even for root, who
    // ignores permission bits.
    std::filesystem::rename(harness.file, harness.folder / "saved.xml");
    std::filesystem::create_directory(harness.file);
    harness.poll();
    harness.poll();
    ASSERT_THAT(harness.eventKinds(), ElementsAre(Kind::initial, Kind::unreadable));
    EXPECT_EQ(harness.monitor->events().front().summary, "Failed reading file");
    EXPECT_FALSE(harness.monitor->events().front().details.empty());

    std::filesystem::remove(harness.file);
    std::vector<MarkerSpec> edited = markers;
    edited[2].fade = "7";
    harness.write(show(edited));
    harness.poll();
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 3 Time 7 #"));
    EXPECT_EQ(harness.eventKinds().back(), Kind::modified);
    ASSERT_TRUE(harness.runUntil([&] { return console.cues() == expectedCues(edited); }));
}

TEST_F(MarkerFileFault, PermissionDeniedIsReportedWithTheSystemsText) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permission bits do not stop root";
    }
    ASSERT_EQ(chmod(harness.file.c_str(), 0), 0);
    harness.poll();
    ASSERT_THAT(harness.eventKinds(), ElementsAre(Kind::initial, Kind::unreadable));
    EXPECT_THAT(harness.monitor->events().front().details, ::testing::HasSubstr("ermission"));
    ASSERT_EQ(chmod(harness.file.c_str(), S_IRUSR | S_IWUSR), 0);
    harness.poll();
    EXPECT_EQ(harness.monitor->events().size(), 2u) << "readable again and unchanged: no event";
    EXPECT_THAT(linesSinceStart(), IsEmpty());
}

TEST_F(MarkerFileFault, InvalidUTF8NeitherBreaksTheLinesNorStopsTheOtherEdits) {
    std::vector<MarkerSpec> edited = markers;
    edited[0].label = "Bad \xff\xfe bytes \xc3";
    edited[1].fade = "4";
    harness.write(show(edited));
    harness.poll();

    // The untouched label scores the fade edit higher, so it goes first.
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 2 Time 4 #",
                                               "$ Cue 1 / 1 Label Bad \xEF\xBF\xBD\xEF\xBF\xBD bytes \xEF\xBF\xBD #"))
        << "invalid bytes are replaced, not passed on";
    ASSERT_TRUE(harness.runUntil([&] {
        const auto cues = console.cues();
        return cues.size() == 3 && cues[1].time == "4" && cues[0].label.starts_with("Bad ");
    }));
    const std::string label = console.cues()[0].label;
    EXPECT_TRUE(std::all_of(label.begin(), label.end(), [](unsigned char c) { return c < 0x80; }))
        << "OSC strings are ASCII: " << label;
    EXPECT_FALSE(hasRefusals(console.log()));
    EXPECT_TRUE(harness.monitor->isEosConnected()) << "an odd label must not cost the connection";
}

}  // namespace
}  // namespace lanternwick::faults
