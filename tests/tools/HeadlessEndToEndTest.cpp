#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>

#include <unistd.h>

#include <gtest/gtest.h>

#include "common/LoopbackConsole.h"
#include "common/MarkerFileText.h"
#include "headless/HeadlessRunner.h"
#include "monitor/SettingsStore.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using sim::SimulatedCue;

std::string markerFile(const std::string& secondLabel, bool withThirdMarker) {
    std::vector<testing::MarkerFields> markers{{.cue = "1", .label = "Preshow", .fade = "5"},
                                             {.cue = "2", .label = secondLabel, .position = "75.5", .fade = "2", .fadeOut = "3"}};
    if (withThirdMarker) {
        markers.push_back({.cue = "7", .label = "Backdrop", .position = "10", .fade = "8", .track = "Stage 2/ 01:00:00:00"});
    }
    return testing::markerFileText(markers);
}

void writeAtomically(const std::filesystem::path& path, const std::string& text) {
    const auto temporary = path.string() + ".saving";
    std::ofstream(temporary, std::ios::binary) << text;
    std::filesystem::rename(temporary, path);
}

// The whole program against the simulator: flags, the update on connect,
// an edit, a deletion answered No (no terminal), and a clean stop on SIGTERM.
TEST(HeadlessEndToEnd, MirrorsTheFileIntoTheSimulatorAndStopsOnSigterm) {
    testing::LoopbackConsole console;
    std::string folderPattern = (std::filesystem::temp_directory_path() / "lanternwick-e2e-XXXXXX").string();
    const std::filesystem::path folder = ::mkdtemp(folderPattern.data());
    const auto file = folder / "Lighting.xml";
    writeAtomically(file, markerFile("Verse", true));

    InMemorySettingsStore store;
    store.setString("eosHost", "saved.invalid");
    const int writesBefore = store.writeCount();
    ::testing::internal::CaptureStdout();
    auto run = std::async(std::launch::async, [&] {
        return runHeadless({"--headless", "--file", file.string(), "--host", "127.0.0.1", "--port",
                            std::to_string(console.port()), "--update-on-connect", "--sync-labels",
                            "--delete-cues"},
                           store, "/nonexistent/tty");
    });

    const bool mirrored = console.waitFor([&] {
        return console.cue(1, "2") == SimulatedCue{1, "2", "Verse", "2 / 3", "00:01:15:15"} &&
               console.cue(2, "7") == SimulatedCue{2, "7", "Backdrop", "8", "01:00:10:00"} &&
               console.cue(1, "1") == SimulatedCue{1, "1", "Preshow", "5", "00:00:00:00"};
    });
    EXPECT_TRUE(mirrored) << console.output();

    writeAtomically(file, markerFile("Chorus", false));
    EXPECT_TRUE(console.waitFor([&] { return console.cue(1, "2")->label == "Chorus"; })) << console.output();
    // The same poll asks about the removed marker right after the label;
    // with no terminal to ask the answer is No, so the cue stays.
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(console.cue(2, "7").has_value());

    // Only a running headless loop has its handler installed; signalling a
    // run that already ended would end the test binary instead.
    ASSERT_EQ(run.wait_for(0s), std::future_status::timeout) << ::testing::internal::GetCapturedStdout();
    ::kill(::getpid(), SIGTERM);
    ASSERT_EQ(run.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(run.get(), 0);
    const std::string printed = ::testing::internal::GetCapturedStdout();

    for (const char* line : {" Initial Snapshot: ", " Modified: ", " == connected to 127.0.0.1:",
                             " -> sent /eos/user/0/key/blind\n",
                             " -> sent /eos/user/0/newcmd Cue 1 / 2 Time 2 / 3 Timecode 00:01:15:15 Label Verse #\n",
                             " -> sent /eos/user/0/newcmd $ Cue 1 / 2 Label Chorus #\n"}) {
        EXPECT_NE(printed.find(line), std::string::npos) << line << " missing from:\n" << printed;
    }
    EXPECT_EQ(printed.find("Delete Cue"), std::string::npos) << printed;
    EXPECT_EQ(store.stringValue("eosHost"), "saved.invalid") << "a flag must not overwrite the saved host";
    EXPECT_FALSE(store.value("eosPort").has_value());
    EXPECT_FALSE(store.value("optSyncLabels").has_value());
    EXPECT_EQ(store.writeCount(), writesBefore);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace lanternwick
