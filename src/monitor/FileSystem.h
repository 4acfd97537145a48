#pragma once
// FileSystem: the two file operations the monitor needs, an existence test
// and a whole-file read, behind an interface so tests can make reads fail
// with chosen texts. LocalFileSystem is the real one (its system calls in
// LocalFileSystemPosix.cpp; a port writes its own file). Stateless; callable
// from any thread. Read failures carry a description the event log shows
// verbatim: the operating system's for ordinary failures ("Permission
// denied", "Is a directory"), Lanternwick's own for the two refusals below.
// A file is missing only when nothing is at its path: a file or folder the
// user may not read or search exists, and reading it fails with "Permission
// denied".
//
// Bound: a marker file is read only when it is a regular file of at most
// maxMarkerFileBytes (64 MiB). A named pipe, device or socket at the path is
// refused without being opened, so nothing at the path can block the caller
// or feed it without end (the open itself never blocks either, should the
// path be swapped in between); a larger file is refused from its size
// without being read; a file that grows past the bound while being read is
// refused once the bound is passed, so no more than 64 MiB and a byte are
// ever held. Each refusal is an ordinary read failure: the next read tries
// again.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "support/Result.h"

namespace lanternwick {

inline constexpr std::uint64_t maxMarkerFileBytes = 64 * 1024 * 1024;

class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual bool fileExists(const std::filesystem::path& path) const = 0;
    // The file's bytes, or the description of why they could not be read.
    virtual Result<std::string, std::string> readFile(const std::filesystem::path& path) const = 0;
};

class LocalFileSystem final : public FileSystem {
public:
    bool fileExists(const std::filesystem::path& path) const override;
    Result<std::string, std::string> readFile(const std::filesystem::path& path) const override;
};

// What the reader decides from, split from the system calls so the decisions
// can be driven without making the files.
enum class FileKind { regular, directory, namedPipe, characterDevice, blockDevice, socket, other };

struct FileFacts {
    FileKind kind = FileKind::regular;
    std::uint64_t size = 0;
};

// One read(2) of an opened file: the byte count (0 at the end of the file),
// or the errno of a failure.
struct ReadStep {
    std::size_t count = 0;
    int error = 0;
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual ReadStep read(std::span<char> into) = 0;
};

// The whole file behind the source, or why it is refused or unreadable.
Result<std::string, std::string> readBoundedFile(const FileFacts& facts, ByteSource& source,
                                                 std::uint64_t limit = maxMarkerFileBytes);

std::string notRegularFileText(FileKind kind);
std::string fileTooLargeText(std::uint64_t size, std::uint64_t limit);
std::string fileGrewPastLimitText(std::uint64_t limit);

}  // namespace lanternwick
