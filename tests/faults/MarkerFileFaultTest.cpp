// Marker files that misbehave while the monitor watches them: caught half
// written, replaced by rename, deleted and recreated, unreadable, holding
// invalid UTF-8, grown to tens of megabytes. Each runs end to end against
// the simulated console; the console must end up with what the finished
// file says, and never get a command the file does not ask for.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "soak/MonitorRig.h"
#include "soak/SoakConsole.h"
#include "soak/SoakShow.h"

namespace lanternwick::soak {
namespace {

using Kind = LightingChangeEvent::Kind;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class MarkerFileFault : public ::testing::Test {
protected:
    void SetUp() override {
        rig.write(showText(markers));
        rig.start();
        ASSERT_TRUE(rig.waitConnected());
        ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(markers); }))
            << "the update on connect did not fill the console";
        linesBefore = rig.sentLines().size();
    }

    std::vector<std::string> linesSinceStart() const {
        const auto lines = rig.sentLines();
        return {lines.begin() + static_cast<std::ptrdiff_t>(linesBefore), lines.end()};
    }

    std::vector<ShowMarker> markers = numberedShow(3);
    SoakConsole console;
    MonitorRig rig{console.port()};
    std::size_t linesBefore = 0;
};

TEST_F(MarkerFileFault, HalfWrittenSaveStillDeliversItsEdits) {
    std::vector<ShowMarker> edited = markers;
    edited[1].fade = "5";
    edited[2].label = "Finale";
    const std::string finished = showText(edited);

    rig.write(finished.substr(0, finished.size() / 2));
    rig.poll();
    rig.write(finished.substr(0, finished.size() - 20));
    rig.poll();
    EXPECT_THAT(linesSinceStart(), IsEmpty()) << "a half-written file must not send anything";

    rig.write(finished);
    rig.poll();
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 2 Time 5 #", "$ Cue 1 / 3 Label Finale #"));
    ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(edited); }));
    EXPECT_THAT(rig.eventKinds(), ElementsAre(Kind::initial, Kind::modified, Kind::modified, Kind::modified));
    EXPECT_FALSE(console.hasRefusals());
}

TEST_F(MarkerFileFault, AtomicReplaceIsSeenAndAnIdenticalOneIsNot) {
    std::vector<ShowMarker> edited = markers;
    edited[0].position = "15";
    rig.replaceAtomically(showText(edited));
    rig.poll();
    rig.replaceAtomically(showText(edited));
    rig.poll();
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 1 Timecode 00:00:15:00 #"));
    EXPECT_EQ(rig.monitor->events().size(), 2u) << "the same content under a new inode is no change";
    ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(edited); }));
}

TEST_F(MarkerFileFault, DeletedFileDeletesNoCueAndTheEditsAcrossTheGapArriveWhenItReturns) {
    std::filesystem::remove(rig.file);
    rig.poll();
    rig.poll();
    EXPECT_THAT(linesSinceStart(), IsEmpty()) << "a vanished file is no deletion of its cues";
    std::vector<ShowMarker> returned = markers;
    returned.pop_back();
    returned[1].fade = "7";
    rig.write(showText(returned));
    rig.poll();
    EXPECT_THAT(rig.eventKinds(), ElementsAre(Kind::initial, Kind::deleted, Kind::created));
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 2 Time 7 #", "$ Delete Cue 1 / 3 Enter #"))
        << "the returned file is compared with the one that went away";
    ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(returned); }));
    linesBefore = rig.sentLines().size();

    returned[0].label = "Opening";
    rig.write(showText(returned));
    rig.poll();
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 1 Label Opening #"));
    EXPECT_FALSE(console.hasRefusals());
}

// Things that are no marker file take the file's place: each is one read
// error however often it is polled, and none can stall the poll (a named pipe
// without a writer used to block it for good, /dev/zero to exhaust memory).
// Choosing one in the file dialog fails the same way. Once a marker file is
// back, its edits arrive. Root ignores permission bits, so these are the read
// failures a test can make.
TEST_F(MarkerFileFault, WhatIsNoReadableFileIsReportedOnceAndTheFileIsWatchedAgain) {
    namespace fs = std::filesystem;
    const struct {
        std::string_view name;
        void (*make)(const fs::path&);
        std::string_view details;
    } cases[] = {
        {"directory", [](const fs::path& p) { fs::create_directory(p); }, "Is a directory"},
        {"named pipe", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         "The file is a named pipe (FIFO); Lanternwick reads only regular files."},
        {"endless device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
         "The file is a character device; Lanternwick reads only regular files."},
        {"500 MiB file",
         [](const fs::path& p) {
             std::ofstream{p};
             fs::resize_file(p, 500ull * 1024 * 1024);  // sparse: costs no disk
         },
         "The file is 500.0 MiB; Lanternwick reads marker files up to 64 MiB."},
    };
    const fs::path chosen = rig.folder / "Chosen.xml";
    std::vector<ShowMarker> edited = markers;
    int fade = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.make(chosen);
        const auto selected = rig.monitor->selectFile(chosen);
        ASSERT_FALSE(selected);
        EXPECT_EQ(selected.error().description(), "Unable to read XML file: " + std::string(c.details));

        const std::size_t eventsBefore = rig.monitor->events().size();
        fs::remove(rig.file);
        fs::rename(chosen, rig.file);
        rig.poll();
        rig.poll();
        ASSERT_EQ(rig.monitor->events().size(), eventsBefore + 1);
        EXPECT_EQ(rig.eventKinds().back(), Kind::unreadable);
        EXPECT_EQ(rig.monitor->events().front().details, c.details);

        fs::remove(rig.file);
        edited[2].fade = std::to_string(++fade);
        rig.write(showText(edited));
        const std::size_t linesBeforeEdit = rig.sentLines().size();
        rig.poll();
        EXPECT_EQ(rig.eventKinds().back(), Kind::modified);
        const auto lines = rig.sentLines();
        EXPECT_THAT(std::vector(lines.begin() + std::ptrdiff_t(linesBeforeEdit), lines.end()),
                    ElementsAre("$ Cue 1 / 3 Time " + std::to_string(fade) + " #"));
    }
    ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(edited); }));
}

TEST_F(MarkerFileFault, PastedMarkerCreatesItsCue) {
    std::vector<ShowMarker> edited = markers;
    edited.insert(edited.begin() + 1, ShowMarker{.cue = "7.5", .label = "Pasted", .position = "12", .fade = "1"});
    rig.write(showText(edited));
    rig.poll();
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 7.5 Enter #", "$ Cue 1 / 7.5 Label Pasted #",
                                               "$ Cue 1 / 7.5 Time 1 #", "$ Cue 1 / 7.5 Timecode 00:00:12:00 #"));
    ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(edited); }));
}

// Texts that, converted to ASCII on the way out, once read as commands of
// their own: each reaches the console only as what the file means.
TEST_F(MarkerFileFault, HostileTextsReachTheConsoleOnlyAsTheCommandsTheyMean) {
    std::vector<ShowMarker> edited = markers;
    edited[0].label = "Scene \uff032 Delete Cue 1 / 2 Enter";
    edited[1].label = "Take \ufe5f5";
    edited[2].fadeOut = "Label";
    for (const char* cue : {"7\u00bd", "3\uff03", "5/6", "7*"}) {
        edited.push_back({.cue = cue, .label = "Hostile", .position = "50"});
    }
    edited.push_back({.cue = "3.0", .label = "Cue 3", .position = "30"});
    rig.write(showText(edited));
    rig.poll();
    EXPECT_THAT(linesSinceStart(),
                ElementsAre("$ Cue 1 / 1 Label Scene 2 Delete Cue 1 / 2 Enter #", "$ Cue 1 / 2 Label Take 5 #",
                            "$ Cue 1 / 3.0 Enter #", "$ Cue 1 / 3.0 Label Cue 3 #", "$ Cue 1 / 3.0 Time 2 #",
                            "$ Cue 1 / 3.0 Timecode 00:00:30:00 #",
                            // The last marker on the shared cue gives it all its values.
                            "Cue 1 / 3.0 Time 2 Timecode 00:00:30:00 Label Cue 3 #"));
    ASSERT_TRUE(rig.runUntil([&] { return console.executedCount() >= 3 + 7; }));
    EXPECT_TRUE(console.cues().size() == 3 && console.cues()[1].cueNumber == "2") << "cue 2 must survive";
    EXPECT_EQ(console.cues()[2].label, "Cue 3") << "a fade-out of \"Label\" must not wipe the label";

    // Marker "3.0" goes, marker "3" stays: cue 3 is not deleted but gets that marker's values.
    edited.pop_back();
    linesBefore = rig.sentLines().size();
    rig.write(showText(edited));
    rig.poll();
    EXPECT_THAT(linesSinceStart(), ElementsAre("Cue 1 / 3 Time 2 Timecode 00:00:30:00 Label Cue 3 #"));

    // On connect, the fade-out the console could not read is left out, never a "Time 0".
    console.kill();
    console.start();
    ASSERT_TRUE(rig.runUntil([&] { return console.cues().size() == 3; }));
    const auto cues = console.cues();
    EXPECT_EQ(cues[2].time, "2");
    EXPECT_EQ(cues[2].label, "Cue 3");
    EXPECT_EQ(cues[0].label, "Scene 2 Delete Cue 1 / 2 Enter");
    EXPECT_FALSE(console.hasRefusals());
}

TEST_F(MarkerFileFault, InvalidUTF8NeitherBreaksTheLinesNorStopsTheOtherEdits) {
    std::vector<ShowMarker> edited = markers;
    edited[0].label = "Bad \xff\xfe bytes \xc3";
    edited[1].fade = "4";
    rig.write(showText(edited));
    rig.poll();

    // The untouched label scores the fade edit higher, so it goes first.
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 2 Time 4 #", "$ Cue 1 / 1 Label Bad ?? bytes ? #"))
        << "invalid bytes are replaced, not passed on";
    ASSERT_TRUE(rig.runUntil([&] {
        const auto cues = console.cues();
        return cues.size() == 3 && cues[1].time == "4" && cues[0].label.starts_with("Bad ");
    }));
    const std::string label = console.cues()[0].label;
    EXPECT_TRUE(std::all_of(label.begin(), label.end(), [](unsigned char c) { return c < 0x80; }))
        << "OSC strings are ASCII: " << label;
    EXPECT_FALSE(console.hasRefusals());
    EXPECT_TRUE(rig.monitor->isEosConnected()) << "an odd label must not cost the connection";
}

// Other elements of the timeline grow the file to 50 MB in the same save
// that edits one fade: one event, exactly the one command the edit asks for,
// and an unchanged 50 MB file polled again is no change.
TEST_F(MarkerFileFault, FileGrownToFiftyMegabytesGivesTheRightEventsAndNoWrongCommand) {
    std::string padding;
    const std::string element = "  <Region Name=\"Verse\" Start=\"12.5\" Length=\"8\" Colour=\"#336699\"/>\n";
    padding.reserve(50'000'000 + element.size());
    while (padding.size() < 50'000'000) {
        padding += element;
    }
    markers[1].fade = "5";
    rig.write(showText(markers, padding));
    rig.poll();
    rig.poll();
    EXPECT_THAT(rig.eventKinds(), ElementsAre(Kind::initial, Kind::modified));
    EXPECT_THAT(linesSinceStart(), ElementsAre("$ Cue 1 / 2 Time 5 #"));
    ASSERT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(markers); }));
    EXPECT_TRUE(rig.monitor->isEosConnected());
}

}  // namespace
}  // namespace lanternwick::soak
