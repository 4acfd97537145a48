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
            !user.sees("Type y, n, a or v, then press Enter (default n): ")) {
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

using Answer = HeadlessOptions::DeletionAnswer;

HeadlessOptions with(const std::function<void(HeadlessOptions&)>& set) {
    HeadlessOptions options;
    set(options);
    return options;
}

TEST(HeadlessOptions, EveryFlagInBothSpellingsAndEveryBadOneRefusedWithAReason) {
    const HeadlessOptions all = with([](HeadlessOptions& o) {
        o.file = std::filesystem::path("show/Lighting.xml");
        o.host = "console.local";
        o.port = 3032;
        o.updateOnConnect = o.syncLabels = o.deleteCues = o.json = true;
        o.deletionAnswer = Answer::yes;
    });
    const struct {
        std::vector<std::string> args;
        Result<HeadlessOptions, std::string> expected;
    } cases[] = {
        {{"--headless", "--file", "show/Lighting.xml", "--host", "console.local", "--port", "3032",
          "--update-on-connect", "--sync-labels", "--delete-cues", "--assume-yes", "--json"}, all},
        {{"--file=show/Lighting.xml", "--host=console.local", "--port=3032", "--json", "--delete-cues",
          "--sync-labels", "--update-on-connect", "--assume-yes"}, all},
        // Nothing given leaves everything to the saved settings.
        {{"--headless"}, HeadlessOptions{}},
        {{"--assume-no"}, with([](HeadlessOptions& o) { o.deletionAnswer = Answer::no; })},
        {{"--no-update-on-connect", "--no-sync-labels", "--no-delete-cues", "--framing=length"},
         with([](HeadlessOptions& o) {
             o.updateOnConnect = o.syncLabels = o.deleteCues = false;
             o.framing = EosFraming::packetLength;
         })},
        {{"--sync-labels", "--no-sync-labels"}, fail("--sync-labels and --no-sync-labels exclude each other")},
        {{"--no-delete-cues=1"}, fail("--no-delete-cues takes no value")},
        {{"--framing", "osc"}, fail("--framing needs slip or length, not \"osc\"")},
        {{"--port", "1"}, with([](HeadlessOptions& o) { o.port = 1; })},
        {{"--port", "65535"}, with([](HeadlessOptions& o) { o.port = 65535; })},
        {{"--help"}, with([](HeadlessOptions& o) { o.showHelp = true; })},
        {{"--verbose"}, fail("unknown argument: --verbose")},
        {{"--json", "show.xml", "--json"}, fail("unknown argument: show.xml")},
        {{"-x"}, fail("unknown argument: -x")},
        {{"--assume-yes", "--assume-no"}, fail("--assume-yes and --assume-no exclude each other")},
        {{"--sync-labels=no"}, fail("--sync-labels takes no value")},
        {{"--json=yes"}, fail("--json takes no value")},
        {{"--port"}, fail("--port needs a port number from 1 to 65535")},
        {{"--host", "  "}, fail("--host needs a host name or address")},
        {{"--file="}, fail("--file needs the path of a marker file")},
    };
    for (const auto& c : cases) {
        const auto parsed = parseHeadlessArguments(c.args);
        EXPECT_EQ(parsed, c.expected) << c.args.back() << ": " << (parsed ? "accepted" : parsed.error());
    }
    for (const std::string port : {"0", "65536", "-1", "80a", "", " 80", "123456"}) {
        const auto parsed = parseHeadlessArguments({"--port", port});
        EXPECT_EQ(parsed ? "accepted" : parsed.error(), "--port needs a port number from 1 to 65535, not \"" + port + "\"");
    }
}

}  // namespace
}  // namespace lanternwick
