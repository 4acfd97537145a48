// The terminal mode against its surroundings: standard output that nobody
// reads or that goes away, closed standard streams, a --file that is no
// regular file, a second copy for the same console, and a run that must not
// change the saved settings.

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/LoopbackConsole.h"
#include "common/MarkerFileText.h"
#include "headless/HeadlessRunner.h"
#include "headless/NonBlockingOutput.h"
#include "monitor/ConsoleLock.h"
#include "monitor/FileSystem.h"
#include "monitor/SettingsStore.h"

extern char** environ;

namespace lanternwick {
namespace {

using namespace std::chrono_literals;

std::filesystem::path freshFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lanternwick-streams-XXXXXX").string();
    return ::mkdtemp(pattern.data());
}

// Points the console locks at a folder of the test's own for one scope.
class LockFolder {
public:
    explicit LockFolder(const std::filesystem::path& folder) {
        if (const char* value = std::getenv("XDG_RUNTIME_DIR")) previous_ = value;
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
    ~LockFolder() { previous_ ? ::setenv("XDG_RUNTIME_DIR", previous_->c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR"); }

private:
    std::optional<std::string> previous_;
};

std::string readAvailable(int fd, std::chrono::milliseconds patience) {
    std::string text;
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < giveUp) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0) continue;
        char buffer[65536];
        const auto got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

TEST(NonBlockingOutput, AStalledReaderCostsRecordsNotTimeAndIsToldHowManyAGoneOneStopsThePrinting) {
    std::signal(SIGPIPE, SIG_IGN);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    // A reader that has stalled: the pipe is full before the output starts.
    ::fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK);
    const std::string filler(4096, 'f');
    while (::write(pipeEnds[1], filler.data(), filler.size()) > 0) {
    }
    std::string gone;
    std::promise<void> goneSeen;
    {
        NonBlockingOutput output(pipeEnds[1], 4096, [](std::uint64_t count) { return "!! " + std::to_string(count) + " left out\n"; },
                                 [&](const std::string& reason) { gone = reason, goneSeen.set_value(); });
        ::close(pipeEnds[1]);
        const std::string record(1000, 'r');
        int accepted = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 500; ++i) accepted += output.write(record + "\n") ? 1 : 0;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "writing must never wait for the reader";
        EXPECT_EQ(accepted, 4) << "the buffer holds 4 KiB, the rest is counted";
        EXPECT_FALSE(output.write("after the gap\n")) << "nothing may follow a gap before the count";
        // Still stalled, so what follows comes only from the wait for room.
        EXPECT_FALSE(output.waitUntilWritten(200ms));

        std::string read;
        while (read.find(" left out\n") == std::string::npos) {
            const std::string more = readAvailable(pipeEnds[0], 200ms);
            if (more.empty()) break;
            read += more;
        }
        EXPECT_EQ(std::count(read.begin(), read.end(), 'r'), 4000);
        EXPECT_TRUE(read.ends_with(record + "\n!! 497 left out\n"))
            << read.substr(read.size() > 100 ? read.size() - 100 : 0);
        EXPECT_TRUE(output.waitUntilWritten(2s));
        EXPECT_TRUE(output.write("once more\n"));
        EXPECT_EQ(readAvailable(pipeEnds[0], 300ms), "once more\n");

        ::close(pipeEnds[0]);
        output.write("into a closed pipe\n");
        ASSERT_EQ(goneSeen.get_future().wait_for(2s), std::future_status::ready);
        EXPECT_EQ(gone, "Broken pipe");
        EXPECT_TRUE(output.gone());
        EXPECT_FALSE(output.write("later\n"));
    }
}

// The real program in a child process, with its standard streams as the
// test makes them.
class Program {
public:
    enum class Stream { pipe, closed };

    Program(const std::vector<std::string>& args, Stream out, Stream err, const std::filesystem::path& home) {
        std::vector<std::string> env = {"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / "config").string(),
                                        "XDG_RUNTIME_DIR=" + (home / "run").string(), "DISPLAY=", "WAYLAND_DISPLAY=",
                                        "PATH=/usr/bin:/bin"};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const auto wire = [&](int fd, Stream how, int& ours) {
            if (how == Stream::closed) {
                posix_spawn_file_actions_addclose(&actions, fd);
                return;
            }
            int ends[2];
            ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
            ours = ends[0];
            posix_spawn_file_actions_adddup2(&actions, ends[1], fd);
            childEnds_.push_back(ends[1]);
        };
        wire(STDOUT_FILENO, out, out_);
        wire(STDERR_FILENO, err, err_);
        std::vector<char*> argv{const_cast<char*>(LANTERNWICK_PROGRAM)};
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& entry : env) envp.push_back(entry.data());
        envp.push_back(nullptr);
        EXPECT_EQ(::posix_spawn(&pid_, LANTERNWICK_PROGRAM, &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        for (const int end : childEnds_) ::close(end);
    }
    ~Program() {
        if (pid_ > 0 && !exitStatus_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        closeOut();
        if (err_ >= 0) ::close(err_);
    }

    int out() const { return out_; }
    int err() const { return err_; }
    void closeOut() {
        if (out_ >= 0) ::close(out_);
        out_ = -1;
    }
    bool running() {
        return !exitStatus_ && ::waitpid(pid_, nullptr, WNOHANG) == 0;
    }
    // The exit status after SIGTERM, or -1 if it did not stop in time.
    int stop(std::chrono::milliseconds patience = 5s) {
        ::kill(pid_, SIGTERM);
        const auto giveUp = std::chrono::steady_clock::now() + patience;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > giveUp) return -1;
            std::this_thread::sleep_for(20ms);
        }
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return *exitStatus_;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::vector<int> childEnds_;
    std::optional<int> exitStatus_;
};

std::string manyMarkers(const std::string& firstLabel, int count) {
    std::vector<testing::MarkerFields> markers;
    for (int cue = 1; cue <= count; ++cue) {
        markers.push_back({.cue = std::to_string(cue), .label = cue == 1 ? firstLabel : "Look " + std::to_string(cue),
                           .position = std::to_string(cue), .fade = "2"});
    }
    return testing::markerFileText(markers);
}

void save(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file.string() + ".saving", std::ios::binary) << text;
    std::filesystem::rename(file.string() + ".saving", file);
}

// Each case: how standard output and error are wired, and what the test does
// to them once the program runs. The sync must go on (a later edit reaches
// the console) and SIGTERM must still stop it cleanly.
TEST(HeadlessStreams, NeitherAStalledNorAVanishedNorAClosedStandardOutputStopsTheSync) {
    const struct {
        const char* name;
        Program::Stream out;
        Program::Stream err;
        bool readerGoesAway;
    } cases[] = {
        {"pipe nobody reads", Program::Stream::pipe, Program::Stream::pipe, false},
        {"reader goes away", Program::Stream::pipe, Program::Stream::pipe, true},
        {">&- 2>&-", Program::Stream::closed, Program::Stream::closed, false},
    };
    for (const auto& c : cases) {
        testing::LoopbackConsole console;
        const auto folder = freshFolder();
        const auto file = folder / "Lighting.xml";
        // Far more output than a pipe holds before anyone reads it.
        save(file, manyMarkers("Opening", 1500));
        Program program({"--headless", "--file", file.string(), "--port", std::to_string(console.port()),
                         "--update-on-connect", "--sync-labels", "--assume-no"},
                        c.out, c.err, folder);
        if (c.readerGoesAway) {
            EXPECT_NE(readAvailable(program.out(), 1s).find("Options: "), std::string::npos) << c.name;
            program.closeOut();
        }
        EXPECT_TRUE(console.waitFor([&] { return console.cue(1, "1500").has_value(); }, 20s)) << c.name;
        save(file, manyMarkers("Edited", 1500));
        EXPECT_TRUE(console.waitFor([&] { return console.cue(1, "1")->label == "Edited"; }, 10s)) << c.name;
        EXPECT_TRUE(program.running()) << c.name;
        EXPECT_EQ(program.stop(), 0) << c.name;
        if (c.readerGoesAway) {
            EXPECT_NE(readAvailable(program.err(), 500ms).find("lanternwick: standard output is gone (Broken pipe)"),
                      std::string::npos) << c.name;
        }
        std::filesystem::remove_all(folder);
    }
}

TEST(HeadlessStreams, AFileThatIsNoRegularFileOrTooLargeIsRefusedAtOnceWithThePollsTexts) {
    const auto folder = freshFolder();
    const auto fifo = folder / "pipe.xml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto huge = folder / "huge.xml";
    std::ofstream{huge}.close();
    std::filesystem::resize_file(huge, maxMarkerFileBytes + 1);
    const struct {
        std::filesystem::path file;
        std::string text;
    } cases[] = {
        {fifo, notRegularFileText(FileKind::namedPipe)},
        {"/dev/zero", notRegularFileText(FileKind::characterDevice)},
        {huge, fileTooLargeText(maxMarkerFileBytes + 1, maxMarkerFileBytes)},
    };
    for (const auto& c : cases) {
        InMemorySettingsStore store;
        ::testing::internal::CaptureStderr();
        auto run = std::async(std::launch::async, [&] { return runHeadless({"--file", c.file.string()}, store); });
        ASSERT_EQ(run.wait_for(3s), std::future_status::ready) << c.file;
        EXPECT_EQ(run.get(), 2) << c.file;
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(message, "lanternwick: " + c.file.string() + ":\nUnable to read XML file: " + c.text + "\n");
    }
    std::filesystem::remove_all(folder);
}

TEST(HeadlessStreams, ASecondCopyForTheSameConsoleRefusesNamingTheFirst) {
    const auto folder = freshFolder();
    const LockFolder locks(folder);
    const auto held = ConsoleLock::acquire(" 127.0.0.1\n", 39117);
    ASSERT_TRUE(held) << held.error().description();
    InMemorySettingsStore store;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runHeadless({"--port", "39117"}, store, "/nonexistent/tty"), 2);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "lanternwick: another Lanternwick (process " + std::to_string(::getpid()) +
                  ") is already talking to the console at 127.0.0.1:39117; stop it, or pick another console with "
                  "--host and --port\n");
    // Another port, or the same console once the lock is gone, is free.
    EXPECT_TRUE(ConsoleLock::acquire("127.0.0.1", 39118));
    EXPECT_FALSE(ConsoleLock::acquire("127.0.0.1", 39117));
    EXPECT_EQ(ConsoleLock::fileName("a/b:c", 0), "console-a%2Fb%3Ac-8555.lock");
    std::filesystem::remove_all(folder);
}

// A link planted where the lock file goes is not followed, and the refusal
// carries the system's reason; a lock handed on stays held by its new owner
// alone, and one overwritten by another lets its console go.
TEST(ConsoleLock, APlantedLinkIsRefusedWithItsReasonAndAMovedLockIsHeldByItsNewOwner) {
    const auto folder = freshFolder();
    const auto link = folder / ConsoleLock::fileName("", 0);
    std::filesystem::create_symlink(folder / "elsewhere", link);
    const auto refused = ConsoleLock::acquire("", 0, folder);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().description(), "cannot take the lock for the console at 127.0.0.1:8555: " +
                                                 link.string() + ": " + std::strerror(ELOOP));
    EXPECT_FALSE(std::filesystem::exists(folder / "elsewhere"));
    std::filesystem::remove(link);

    std::optional<ConsoleLock> kept;
    {
        auto first = ConsoleLock::acquire("127.0.0.1", 1, folder);
        ASSERT_TRUE(first);
        kept.emplace(std::move(*first));
    }
    EXPECT_FALSE(ConsoleLock::acquire("127.0.0.1", 1, folder));
    auto second = ConsoleLock::acquire("127.0.0.1", 2, folder);
    ASSERT_TRUE(second);
    *kept = std::move(*second);
    EXPECT_TRUE(kept->isFor(" 127.0.0.1", 2));
    EXPECT_TRUE(ConsoleLock::acquire("127.0.0.1", 1, folder));
    EXPECT_FALSE(ConsoleLock::acquire("127.0.0.1", 2, folder));
    kept.reset();
    EXPECT_TRUE(ConsoleLock::acquire("127.0.0.1", 2, folder));
    std::filesystem::remove_all(folder);
}

// Saved options and flags together: the note says which is which, the flags
// win, and nothing of the run reaches the store.
TEST(HeadlessStreams, TheStartNoteNamesEachOptionsSourceAndTheRunSavesNothing) {
    testing::LoopbackConsole console;
    const auto folder = freshFolder();
    const LockFolder locks(folder);
    const auto file = folder / "Lighting.xml";
    save(file, manyMarkers("Opening", 1));
    InMemorySettingsStore store;
    store.setString("eosHost", " 127.0.0.1 ");
    store.setBool("optUpdateOnConnect", true);
    store.setBool("optDeleteCues", true);
    const int writesBefore = store.writeCount();
    ::testing::internal::CaptureStdout();
    auto run = std::async(std::launch::async, [&] {
        return runHeadless({"--file", file.string(), "--port", std::to_string(console.port()), "--no-update-on-connect",
                            "--sync-labels"},
                           store, "/nonexistent/tty");
    });
    EXPECT_TRUE(console.waitFor([&] {
        const auto received = console.received();
        return std::find(received.begin(), received.end(), "/eos/user/0/key/blind") != received.end();
    }));
    ASSERT_EQ(run.wait_for(0s), std::future_status::timeout);
    ::kill(::getpid(), SIGTERM);
    ASSERT_EQ(run.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(run.get(), 0);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.substr(0, printed.find("\n", printed.find("Options:")) + 1),
              "Watching " + file.string() + " (--file), console 127.0.0.1:" + std::to_string(console.port()) +
                  " (host saved, port --port), framing SLIP (OSC 1.1) (default) (Ctrl-C stops)\n"
                  "Options: update on connect off (--no-update-on-connect), sync labels on (--sync-labels), delete "
                  "cues ON (saved: cues of deleted markers would be deleted after asking, but there is no terminal "
                  "to ask, so none will be)\n");
    EXPECT_EQ(store.writeCount(), writesBefore);
    EXPECT_EQ(store.stringValue("eosHost"), " 127.0.0.1 ");
    EXPECT_FALSE(store.value("eosPort").has_value());
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace lanternwick
