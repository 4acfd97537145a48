// The inotify watcher on real folders, and its reading of raw notices.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/inotify.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

#include "monitor/FileWatcher.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Reaction = FileWatchReaction;

std::vector<std::byte> notice(int wd, std::uint32_t mask, std::string_view name = "") {
    inotify_event header{};
    header.wd = wd;
    header.mask = mask;
    // The kernel pads names with NULs; 16 is what it rounds to.
    header.len = name.empty() ? 0 : static_cast<std::uint32_t>((name.size() / 16 + 1) * 16);
    std::vector<std::byte> bytes(sizeof header + header.len);
    std::memcpy(bytes.data(), &header, sizeof header);
    std::memcpy(bytes.data() + sizeof header, name.data(), name.size());
    return bytes;
}

std::vector<std::byte> joined(std::initializer_list<std::vector<std::byte>> parts) {
    std::vector<std::byte> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(InotifyReaction, NamesTheStrongestReactionToTheWatchedFileAlone) {
    const auto written = notice(1, IN_CLOSE_WRITE, "Lighting.xml");
    const auto truncated = std::vector<std::byte>(written.begin(), written.end() - 4);
    const struct Case { const char* name; std::vector<std::byte> bytes; Reaction expected; } cases[] = {
        {"nothing", {}, Reaction::none},
        {"written and closed", written, Reaction::look},
        {"renamed onto it", notice(1, IN_MOVED_TO, "Lighting.xml"), Reaction::look},
        {"created", notice(1, IN_CREATE, "Lighting.xml"), Reaction::lookAfterSettling},
        {"deleted", notice(1, IN_DELETE, "Lighting.xml"), Reaction::lookAfterSettling},
        {"renamed away", notice(1, IN_MOVED_FROM, "Lighting.xml"), Reaction::lookAfterSettling},
        {"created, then written", joined({notice(1, IN_CREATE, "Lighting.xml"), written}), Reaction::look},
        {"a longer name", notice(1, IN_CLOSE_WRITE, "Lighting.xml.swp"), Reaction::none},
        {"a shorter name", notice(1, IN_CLOSE_WRITE, "Lighting"), Reaction::none},
        {"another watch", notice(2, IN_CLOSE_WRITE, "Lighting.xml"), Reaction::none},
        {"the kernel's queue overflowed", notice(-1, IN_Q_OVERFLOW), Reaction::lookAndRewatch},
        {"the folder deleted", notice(1, IN_DELETE_SELF), Reaction::lookAndRewatch},
        {"the folder moved", notice(1, IN_MOVE_SELF), Reaction::lookAndRewatch},
        {"the watch gone", notice(1, IN_IGNORED), Reaction::lookAndRewatch},
        {"an old watch gone", notice(7, IN_IGNORED), Reaction::none},
        {"a cut-off notice", truncated, Reaction::none},
        {"a whole notice before a cut-off one", joined({written, truncated}), Reaction::look},
        {"a name longer than the bytes left",
         joined({notice(1, IN_CREATE, "x"), std::vector<std::byte>(4)}), Reaction::none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inotifyReaction(c.bytes, 1, "Lighting.xml"), c.expected);
    }
}

class FileWatcherTest : public ::testing::Test {
protected:
    FileWatcherTest() {
        std::string pattern = (fs::temp_directory_path() / "lanternwick-watcher-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        folder = root / "show";
        fs::create_directory(folder);
        file = folder / "Lighting.xml";
        write(file, "a");
    }
    ~FileWatcherTest() override {
        watch = FileWatch();
        fs::remove_all(root);
    }

    FileWatchStart start(const fs::path& path, FileWatchTiming timing = {.burst = 5ms, .settle = 5ms, .retry = 20ms}) {
        auto started = inotifyFileWatcher(queue, timing)(path, [this] { ++notices; });
        watch = std::move(started.watch);
        // The watch reads once its first task has run on the queue.
        queue.sync([] {});
        return started;
    }
    static void write(const fs::path& path, std::string_view text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }
    bool noticesReach(int count, std::chrono::milliseconds timeout = 3000ms) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (notices.load() < count) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    static std::size_t openDescriptors() {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
    }

    SerialQueue queue{"test.watcher"};
    fs::path root, folder, file;
    std::atomic<int> notices{0};
    FileWatch watch;
};

TEST_F(FileWatcherTest, EachKindOfChangeToTheFileIsReportedAndNothingElse) {
    const struct Case { const char* name; std::function<void(const fs::path&)> act; bool reported; bool existsBefore = true; } cases[] = {
        {"written", [](const fs::path& f) { write(f, "b"); }, true},
        {"replaced by a rename", [](const fs::path& f) { write(f.parent_path() / "tmp", "b"); fs::rename(f.parent_path() / "tmp", f); }, true},
        {"deleted", [](const fs::path& f) { fs::remove(f); }, true},
        {"renamed away", [](const fs::path& f) { fs::rename(f, f.parent_path() / "old.xml"); }, true},
        // A link makes the name without a write that closes it.
        {"created", [](const fs::path& f) { fs::create_hard_link(f.parent_path() / "tmp", f); }, true, false},
        {"its folder moved", [](const fs::path& f) { fs::rename(f.parent_path(), f.parent_path().string() + ".old"); }, true},
        {"only read, and other files written, renamed and deleted", [](const fs::path& f) {
             std::ifstream(f).get();
             write(f.parent_path() / "Lighting.xml.bak", "b");
             fs::rename(f.parent_path() / "Lighting.xml.bak", f.parent_path() / "Other.xml");
             fs::remove(f.parent_path() / "Other.xml");
         }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root / "case");
        fs::create_directory(root / "case");
        const fs::path caseFile = root / "case" / "Lighting.xml";
        write(c.existsBefore ? caseFile : root / "case" / "tmp", "a");
        notices = 0;
        ASSERT_EQ(start(caseFile).unavailable, "");
        c.act(caseFile);
        if (c.reported) {
            EXPECT_TRUE(noticesReach(1));
        } else {
            std::this_thread::sleep_for(100ms);
            EXPECT_EQ(notices.load(), 0);
        }
        watch = FileWatch();
        fs::remove_all(root / "case.old");
    }
}

TEST_F(FileWatcherTest, ABurstOfWritesIsOneNoticeAndAStormIsAFewASecond) {
    // Wide enough for a loaded, sanitized run to finish the burst within it.
    start(file, {.burst = 500ms});
    for (int i = 0; i < 10; ++i) write(file, std::to_string(i));
    ASSERT_TRUE(noticesReach(1));
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(notices.load(), 1);

    notices = 0;
    start(file, {.burst = 1ms, .spacing = 100ms});
    const auto end = std::chrono::steady_clock::now() + 500ms;
    while (std::chrono::steady_clock::now() < end) write(file, "storm");
    std::this_thread::sleep_for(150ms);
    EXPECT_GE(notices.load(), 2);
    EXPECT_LE(notices.load(), 7);
}

TEST_F(FileWatcherTest, AMissingFolderIsNamedAndWatchedOnceItExistsAndAgainAfterItWasDeleted) {
    const FileWatchStart started = start(file.parent_path() / "later" / "Lighting.xml");
    EXPECT_THAT(started.unavailable, ::testing::HasSubstr("(No such file or directory)"));

    fs::create_directory(folder / "later");
    ASSERT_TRUE(noticesReach(1)) << "the first watch looks at once";
    write(folder / "later" / "Lighting.xml", "b");
    ASSERT_TRUE(noticesReach(2));

    fs::remove_all(folder / "later");
    ASSERT_TRUE(noticesReach(3));
    fs::create_directory(folder / "later");
    ASSERT_TRUE(noticesReach(4));
    // Past the retry, so that the folder is watched again before the write.
    std::this_thread::sleep_for(100ms);
    const int seen = notices.load();
    write(folder / "later" / "Lighting.xml", "c");
    EXPECT_TRUE(noticesReach(seen + 1));
}

TEST_F(FileWatcherTest, ADroppedWatchReportsNothingAndLeavesNoDescriptorOpen) {
    // The first watch brings up the event loop's own descriptors, which stay.
    start(file);
    watch = FileWatch();
    queue.sync([] {});
    const std::size_t before = openDescriptors();
    for (int i = 0; i < 20; ++i) start(file);
    watch = FileWatch();
    queue.sync([] {});
    EXPECT_EQ(openDescriptors(), before);
    write(file, "b");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(notices.load(), 0);
}

}  // namespace
}  // namespace lanternwick
