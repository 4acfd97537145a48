#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>

#include <unistd.h>

#include <gtest/gtest.h>

#include "headless/HeadlessRunner.h"
#include "monitor/SettingsStore.h"
#include "tools/RunningSimulator.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using sim::RunningSimulator;
using sim::SimulatedCue;

std::string markerFile(const std::string& secondLabel, bool withThirdMarker) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"1\" minor_vers=\"0\" "
        "bug_vers=\"0\">\n"
        "<Marker TrackName=\"Lights 1/ Main\" Position=\"0\" Label=\"Preshow\" Fade=\"5\" FadeOut=\"-1\" "
        "ManualCueID=\"1\"/>\n"
        "<Marker TrackName=\"Lights 1/ Main\" Position=\"75.5\" Label=\"" +
        secondLabel + "\" Fade=\"2\" FadeOut=\"3\" ManualCueID=\"2\"/>\n";
    if (withThirdMarker) {
        text += "<Marker TrackName=\"Stage 2/ 01:00:00:00\" Position=\"10\" Label=\"Backdrop\" Fade=\"8\" "
                "ManualCueID=\"7\"/>\n";
    }
    return text + "</Tempolane>\n";
}

void writeAtomically(const std::filesystem::path& path, const std::string& text) {
    const auto temporary = path.string() + ".saving";
    std::ofstream(temporary, std::ios::binary) << text;
    std::filesystem::rename(temporary, path);
}

// The whole program against the simulator: flags, the update on connect,
// an edit, a deletion answered No (no terminal), and a clean stop on SIGTERM.
TEST(HeadlessEndToEnd, MirrorsTheFileIntoTheSimulatorAndStopsOnSigterm) {
    RunningSimulator simulator;
    std::string folderPattern = (std::filesystem::temp_directory_path() / "lanternwick-e2e-XXXXXX").string();
    const std::filesystem::path folder = ::mkdtemp(folderPattern.data());
    const auto file = folder / "Lighting.xml";
    writeAtomically(file, markerFile("Verse", true));

    InMemorySettingsStore store;
    store.setString("eosHost", "saved.invalid");
    const int writesBefore = store.writeCount();
    testing::internal::CaptureStdout();
    auto run = std::async(std::launch::async, [&] {
        return runHeadless({"--headless", "--file", file.string(), "--host", "127.0.0.1", "--port",
                            std::to_string(simulator.port()), "--update-on-connect", "--sync-labels",
                            "--delete-cues"},
                           store);
    });

    const bool mirrored = simulator.waitFor([](RunningSimulator& s) {
        return s.cue(1, "2") == SimulatedCue{1, "2", "Verse", "2 / 3", "00:01:15:15"} &&
               s.cue(2, "7") == SimulatedCue{2, "7", "Backdrop", "8", "01:00:10:00"} &&
               s.cue(1, "1") == SimulatedCue{1, "1", "Preshow", "5", "00:00:00:00"};
    });
    EXPECT_TRUE(mirrored) << simulator.output();

    writeAtomically(file, markerFile("Chorus", false));
    EXPECT_TRUE(simulator.waitFor([](RunningSimulator& s) { return s.cue(1, "2")->label == "Chorus"; }))
        << simulator.output();
    // Give the poll that removed the third marker time to ask; without a
    // terminal the answer is No, so the cue stays.
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(simulator.cue(2, "7").has_value());

    // Only a running headless loop has its handler installed; signalling a
    // run that already ended would end the test binary instead.
    ASSERT_EQ(run.wait_for(0s), std::future_status::timeout) << testing::internal::GetCapturedStdout();
    ::kill(::getpid(), SIGTERM);
    ASSERT_EQ(run.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(run.get(), 0);
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_NE(printed.find("Initial Snapshot: "), std::string::npos) << printed;
    EXPECT_NE(printed.find("Modified: "), std::string::npos) << printed;
    EXPECT_NE(printed.find("-> /eos/user/0/key/blind (no values)\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("-> /eos/user/0/newcmd Cue 1 / 2 Time 2 / 3 Timecode 00:01:15:15 Label Verse #\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("-> /eos/user/0/newcmd $ Cue 1 / 2 Label Chorus #\n"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("Delete Cue"), std::string::npos) << printed;
    EXPECT_EQ(store.stringValue("eosHost"), "saved.invalid") << "a flag must not overwrite the saved host";
    EXPECT_FALSE(store.value("eosPort").has_value());
    EXPECT_FALSE(store.value("optSyncLabels").has_value());
    EXPECT_EQ(store.writeCount(), writesBefore);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace lanternwick
