#include "headless/HeadlessRunner.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "eos/SyncOutcome.h"
#include "headless/HeadlessOptions.h"
#include "headless/TerminalDeletionPrompt.h"
#include "LanternwickVersion.h"
#include "monitor/SettingsStore.h"
#include "support/RunLoopMainQueue.h"

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

// The other end of a pseudo-terminal: what the program wrote to it, and the
// keys a user types.
class UserAtTerminal {
public:
    UserAtTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) device = ::ptsname(master_);
    }
    ~UserAtTerminal() { hangUp(); }

    // Reads until `text` has appeared since the last call that found one.
    bool sees(std::string_view text, std::chrono::milliseconds patience = 5s) {
        const auto giveUp = std::chrono::steady_clock::now() + patience;
        while (screen_.find(text) == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now());
            pollfd ready{master_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
            char buffer[256];
            const auto got = ::read(master_, buffer, sizeof buffer);
            if (got <= 0) return false;
            screen_.append(buffer, static_cast<std::size_t>(got));
        }
        screen_.erase(0, screen_.find(text) + text.size());
        return true;
    }
    void types(std::string_view keys) const {
        ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    void hangUp() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    std::string device;

private:
    int master_ = -1;
    std::string screen_;
};

TEST(TerminalDeletionPrompt, AsksOnTheTerminalOneQuestionAtATimeWhileTheQueueRuns) {
    EXPECT_EQ(terminalDeletionAnswer("  YES \r"), (CueDeletionAnswer{true, false, {}}));
    EXPECT_EQ(terminalDeletionAnswer("v"), (CueDeletionAnswer{false, true, {}}));
    EXPECT_EQ(terminalDeletionAnswer("yep"), (CueDeletionAnswer{false, false, {}}));

    UserAtTerminal user;
    ASSERT_FALSE(user.device.empty());
    RunLoopMainQueue queue(RunLoopMainQueue::ClockMode::real);
    TerminalDeletionPrompt prompt(user.device, queue, [] { return false; });
    ASSERT_TRUE(prompt.hasTerminal());
    // Typed before any question was shown (the echo proves the terminal has it).
    user.types("a\n");
    ASSERT_TRUE(user.sees("a"));

    // A poll that runs while the first question waits asks a second one.
    bool queueRan = false;
    CueDeletionAnswer second;
    queue.async([&] {
        queueRan = true;
        second = prompt.confirmCueDeletion(1, "6");
    });
    bool secondShownEarly = true;
    bool secondShown = false;
    std::thread answering([&] {
        if (!user.sees("Delete Cue 1/5 from Eos?\r\nThis will send a delete command to Eos.\r\n") ||
            !user.sees("(default n): ")) {
            return;
        }
        secondShownEarly = user.sees("1/6", 300ms);
        user.types("y\n");
        secondShown = user.sees("Delete Cue 1/6 from Eos?");
        user.types("n\n");
    });
    ::testing::internal::CaptureStdout();
    const CueDeletionAnswer first = prompt.confirmCueDeletion(1, "5");
    const std::string printed = ::testing::internal::GetCapturedStdout();
    answering.join();

    EXPECT_EQ(first, (CueDeletionAnswer{true, false, {}})) << "typed-ahead input must not answer";
    EXPECT_EQ(second, (CueDeletionAnswer{false, false, {}}));
    EXPECT_TRUE(queueRan);
    EXPECT_FALSE(secondShownEarly) << "the second question must wait behind the first";
    EXPECT_TRUE(secondShown);
    EXPECT_EQ(printed, "") << "nothing of the question on standard output";
}

TEST(TerminalDeletionPrompt, WithoutAnAnswerItIsNoAndSaysWhyWhenNobodyCanBeAsked) {
    const std::string noTerminal(skipReason::noTerminal);
    RunLoopMainQueue queue(RunLoopMainQueue::ClockMode::real);
    for (const char* device : {"/nonexistent/tty", "/dev/null"}) {
        TerminalDeletionPrompt prompt(device, queue, [] { return false; });
        EXPECT_FALSE(prompt.hasTerminal()) << device;
        EXPECT_EQ(prompt.confirmCueDeletion(1, "2"), (CueDeletionAnswer{false, false, noTerminal})) << device;
    }
    const struct {
        const char* how;
        bool stop;
        CueDeletionAnswer expected;
    } endings[] = {{"stop request", true, {false, false, {}}}, {"hang-up", false, {false, false, noTerminal}}};
    for (const auto& ending : endings) {
        UserAtTerminal user;
        std::atomic<bool> stop{false};
        auto answer = std::async(std::launch::async, [&] {
            RunLoopMainQueue own(RunLoopMainQueue::ClockMode::real);
            TerminalDeletionPrompt prompt(user.device, own, [&] { return stop.load(); });
            return prompt.confirmCueDeletion(1, "2");
        });
        ASSERT_TRUE(user.sees("(default n): ")) << ending.how;
        EXPECT_EQ(answer.wait_for(200ms), std::future_status::timeout) << ending.how << ": must wait for the user";
        ending.stop ? stop.store(true) : user.hangUp();
        ASSERT_EQ(answer.wait_for(5s), std::future_status::ready) << ending.how;
        EXPECT_EQ(answer.get(), ending.expected) << ending.how;
    }
}

TEST(HeadlessOptions, JSONIsAFlagOfItsOwn) {
    const auto json = parseHeadlessArguments({"--json"});
    ASSERT_TRUE(json.ok());
    EXPECT_TRUE(json.value().json);
    EXPECT_EQ(parseHeadlessArguments({"--json=yes"}).error(), "--json takes no value");
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
