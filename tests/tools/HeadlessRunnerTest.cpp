#include "headless/HeadlessRunner.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include "headless/HeadlessOptions.h"
#include "headless/HeadlessReporter.h"
#include "headless/TerminalDeletionPrompt.h"
#include "LanternwickVersion.h"
#include "monitor/SettingsStore.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;

TEST(HeadlessRunner, BadFlagsOrAnInvalidFileExitWithStatusTwoAndTouchNothing) {
    const auto notTempolane = std::filesystem::temp_directory_path() / ("lanternwick-other-" + std::to_string(::getpid()) + ".xml");
    std::ofstream(notTempolane) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Other/>";
    const std::vector<std::vector<std::string>> refused = {
        {"--headless", "--port", "0"},
        {"--file", notTempolane.string()},
        {"--file", notTempolane.string() + ".missing"},
    };
    for (const auto& args : refused) {
        InMemorySettingsStore store;
        testing::internal::CaptureStderr();
        EXPECT_EQ(runHeadless(args, store), 2) << args.back();
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(message.rfind("lanternwick: ", 0), 0U) << message;
        if (args.back() == notTempolane.string()) {
            EXPECT_NE(message.find("The selected XML file is not a valid Tempolane file."), std::string::npos);
        }
        EXPECT_EQ(store.writeCount(), 0) << args.back();
    }
    InMemorySettingsStore store;
    testing::internal::CaptureStdout();
    EXPECT_EQ(runHeadless({"--help"}, store), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("--assume-yes"), std::string::npos);
    testing::internal::CaptureStdout();
    EXPECT_EQ(runHeadless({"--headless", "--version"}, store), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "lanternwick " + std::string(version) + "\n");
    std::filesystem::remove(notTempolane);
}

TEST(TerminalDeletionPrompt, AsksWithTheDialogTextsAndReadsOneLinePerQuestion) {
    EXPECT_EQ(terminalDeletionAnswer("  YES \r"), (CueDeletionAnswer{true, false}));
    EXPECT_EQ(terminalDeletionAnswer("v"), (CueDeletionAnswer{false, true}));
    EXPECT_EQ(terminalDeletionAnswer("yep"), (CueDeletionAnswer{false, false}));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::ostringstream out;
    TerminalDeletionPrompt prompt(fds[0], out, [] { return false; });
    const std::string typed = "a\ny\n";
    ASSERT_EQ(::write(fds[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    EXPECT_EQ(prompt.confirmCueDeletion(1, " 12"), (CueDeletionAnswer{true, true}));
    EXPECT_NE(out.str().find("Delete Cue 1/ 12 from Eos?"), std::string::npos);
    EXPECT_NE(out.str().find("This will send a delete command to Eos."), std::string::npos);
    EXPECT_EQ(prompt.confirmCueDeletion(1, "13"), (CueDeletionAnswer{true, false}))
        << "the second line belongs to the second question";
    ::close(fds[1]);
    EXPECT_EQ(prompt.confirmCueDeletion(1, "14"), (CueDeletionAnswer{false, false})) << "end of input is No";
    ::close(fds[0]);
}

TEST(TerminalDeletionPrompt, AStopWhileWaitingIsNo) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::ostringstream out;
    std::atomic<bool> stop{false};
    TerminalDeletionPrompt prompt(fds[0], out, [&] { return stop.load(); });
    auto answer = std::async(std::launch::async, [&] { return prompt.confirmCueDeletion(1, "2"); });
    EXPECT_EQ(answer.wait_for(300ms), std::future_status::timeout) << "must wait for the user";
    stop = true;
    ASSERT_EQ(answer.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(answer.get(), (CueDeletionAnswer{false, false}));
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(HeadlessReporter, EventTextIndentsEveryDetailLine) {
    LightingChangeEvent event;
    event.kind = LightingChangeEvent::Kind::modified;
    event.summary = "Modified: 1 action(s) [Fade Changed]";
    event.details = "Cue 1/12\nfade 2 -> 3";
    EXPECT_EQ(headlessEventText(event), "Modified: 1 action(s) [Fade Changed]\n    Cue 1/12\n    fade 2 -> 3\n");
    event.kind = LightingChangeEvent::Kind::unreadable;
    event.summary = "Failed reading file";
    event.details = "Permission denied";
    EXPECT_EQ(headlessEventText(event), "Read Error: Failed reading file\n    Permission denied\n");
    event.details.clear();
    EXPECT_EQ(headlessEventText(event), "Read Error: Failed reading file\n");
}

using Answer = HeadlessOptions::DeletionAnswer;

HeadlessOptions parsed(const std::vector<std::string>& args) {
    const auto result = parseHeadlessArguments(args);
    EXPECT_TRUE(result.ok()) << result.error();
    return result.ok() ? result.value() : HeadlessOptions{};
}

std::string refusal(const std::vector<std::string>& args) {
    const auto result = parseHeadlessArguments(args);
    return result.ok() ? "accepted" : result.error();
}

TEST(HeadlessOptions, EveryFlagInBothSpellings) {
    HeadlessOptions expected;
    expected.file = std::filesystem::path("show/Lighting.xml");
    expected.host = "console.local";
    expected.port = 3032;
    expected.updateOnConnect = expected.syncLabels = expected.deleteCues = true;
    expected.deletionAnswer = Answer::yes;
    EXPECT_EQ(parsed({"--headless", "--file", "show/Lighting.xml", "--host", "console.local", "--port", "3032",
                      "--update-on-connect", "--sync-labels", "--delete-cues", "--assume-yes"}),
              expected);
    EXPECT_EQ(parsed({"--file=show/Lighting.xml", "--host=console.local", "--port=3032", "--delete-cues",
                      "--sync-labels", "--update-on-connect", "--assume-yes"}),
              expected);
    // Nothing given leaves everything to the saved settings.
    EXPECT_EQ(parsed({"--headless"}), HeadlessOptions{});
    EXPECT_EQ(parsed({"--assume-no"}).deletionAnswer, Answer::no);
    EXPECT_EQ(parsed({"--port", "1"}).port, 1);
    EXPECT_EQ(parsed({"--port", "65535"}).port, 65535);
    EXPECT_TRUE(parsed({"--help"}).showHelp);
}

TEST(HeadlessOptions, BadFlagsAreRefusedWithAReason) {
    EXPECT_EQ(refusal({"--verbose"}), "unknown argument: --verbose");
    EXPECT_EQ(refusal({"--assume-yes", "--assume-no"}), "--assume-yes and --assume-no exclude each other");
    EXPECT_EQ(refusal({"--sync-labels=no"}), "--sync-labels takes no value");
    EXPECT_EQ(refusal({"--version=1"}), "--version takes no value");
    for (const char* port : {"0", "65536", "-1", "80a", "", " 80", "123456"}) {
        EXPECT_NE(refusal({"--port", port}).find("--port needs a port number from 1 to 65535"), std::string::npos) << port;
    }
    EXPECT_NE(refusal({"--port"}).find("--port"), std::string::npos);
    EXPECT_EQ(refusal({"--host", "  "}), "--host needs a host name or address");
    EXPECT_EQ(refusal({"--file="}), "--file needs the path of a marker file");
}

}  // namespace
}  // namespace lanternwick
