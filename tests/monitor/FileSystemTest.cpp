// The marker file reader: where the 64 MiB bound falls, files that change
// size under the reader, and the kinds of file it refuses. The misbehaving
// files the monitor meets end to end are in the fault tests.

#include "monitor/FileSystem.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lanternwick {
namespace {

namespace fs = std::filesystem;

// Hands out its chunks one read at a time (a chunk larger than the room is
// split), then the end of the file. A chunk that is an errno fails that read.
class ScriptedSource final : public ByteSource {
public:
    struct Chunk {
        std::string bytes;
        int error = 0;
    };
    explicit ScriptedSource(std::vector<Chunk> chunks) : chunks_(chunks.begin(), chunks.end()) {}

    ReadStep read(std::span<char> into) override {
        if (chunks_.empty()) return {};
        Chunk& chunk = chunks_.front();
        if (chunk.error != 0) {
            const int error = chunk.error;
            chunks_.pop_front();
            return {0, error};
        }
        const std::size_t count = std::min(into.size(), chunk.bytes.size());
        std::memcpy(into.data(), chunk.bytes.data(), count);
        chunk.bytes.erase(0, count);
        if (chunk.bytes.empty()) chunks_.pop_front();
        return {count, 0};
    }

private:
    std::deque<Chunk> chunks_;
};

using Read = Result<std::string, std::string>;

TEST(BoundedRead, TheStatedSizeIsAHintAndTheBoundIsKept) {
    const std::string grew = fileGrewPastLimitText(10);
    const struct {
        std::string_view name;
        FileFacts facts;
        std::vector<ScriptedSource::Chunk> chunks;
        Read expected;
    } cases[] = {
        {"shrank after the look", {FileKind::regular, 8}, {{"abc"}}, Read("abc")},
        {"grew within the bound", {FileKind::regular, 2}, {{"abcd"}, {"efgh"}}, Read("abcdefgh")},
        {"exactly the bound", {FileKind::regular, 10}, {{"0123456789"}}, Read("0123456789")},
        {"grew past the bound", {FileKind::regular, 10}, {{"0123456789"}, {"x"}}, fail(grew)},
        {"grows without end", {FileKind::regular, 0}, {{"01234"}, {"56789"}, {"abcde"}, {"fghij"}}, fail(grew)},
        {"interrupted read is retried", {FileKind::regular, 2}, {{"", EINTR}, {"ab"}}, Read("ab")},
        {"failed read", {FileKind::regular, 4}, {{"ab"}, {"", EIO}}, fail(std::string("Input/output error"))},
        {"over the bound is not read", {FileKind::regular, 11}, {{"0123456789"}}, fail(fileTooLargeText(11, 10))},
        {"named pipe is not read", {FileKind::namedPipe, 0}, {{"ab"}},
         fail(std::string("The file is a named pipe (FIFO); Lanternwick reads only regular files."))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSource source(c.chunks);
        EXPECT_EQ(readBoundedFile(c.facts, source, 10), c.expected);
    }
    EXPECT_EQ(grew, "The file grew past 10 bytes while being read; Lanternwick reads marker files up to 10 bytes.");
}

class LocalFiles : public ::testing::Test {
protected:
    void TearDown() override { fs::remove_all(folder); }

    fs::path sparseFile(std::uint64_t size) const {
        const fs::path path = folder / ("sparse-" + std::to_string(size));
        std::ofstream{path};
        fs::resize_file(path, size);
        return path;
    }

    fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "lanternwick-files-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    LocalFileSystem files;
};

TEST_F(LocalFiles, ReadsRegularFilesUpToTheBoundAndNotAByteMore) {
    const fs::path text = folder / "Lighting.xml";
    std::ofstream(text) << "<Tempolane/>";
    EXPECT_EQ(files.readFile(text), Read("<Tempolane/>"));
    const Read atTheBound = files.readFile(sparseFile(maxMarkerFileBytes));
    ASSERT_TRUE(atTheBound);
    EXPECT_EQ(atTheBound->size(), maxMarkerFileBytes);
    EXPECT_EQ(files.readFile(sparseFile(maxMarkerFileBytes + 1)),
              Read(fail(std::string("The file is 64.1 MiB; Lanternwick reads marker files up to 64 MiB."))));
}

}  // namespace
}  // namespace lanternwick
