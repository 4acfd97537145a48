#include "monitor/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lanternwick {
namespace {

constexpr std::uint64_t mebibyte = 1024 * 1024;
constexpr std::size_t smallestBuffer = 4096;

std::string errorText(int errorNumber) { return std::strerror(errorNumber); }

// Rounded up to a tenth, so a file just over the bound never reads as the bound.
std::string mebibytesText(const std::uint64_t bytes) {
    std::uint64_t whole = bytes / mebibyte;
    std::uint64_t tenths = (bytes % mebibyte * 10 + mebibyte - 1) / mebibyte;
    if (tenths == 10) {
        ++whole;
        tenths = 0;
    }
    return std::to_string(whole) + "." + std::to_string(tenths) + " MiB";
}

std::string limitText(const std::uint64_t limit) {
    return limit % mebibyte == 0 ? std::to_string(limit / mebibyte) + " MiB" : std::to_string(limit) + " bytes";
}

FileFacts factsOf(const struct stat& info) {
    const auto size = static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
    const mode_t mode = info.st_mode;
    if (S_ISREG(mode)) return {FileKind::regular, size};
    if (S_ISDIR(mode)) return {FileKind::directory, size};
    if (S_ISFIFO(mode)) return {FileKind::namedPipe, size};
    if (S_ISCHR(mode)) return {FileKind::characterDevice, size};
    if (S_ISBLK(mode)) return {FileKind::blockDevice, size};
    if (S_ISSOCK(mode)) return {FileKind::socket, size};
    return {FileKind::other, size};
}

// Closes the descriptor on every way out of readFile.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

class DescriptorSource final : public ByteSource {
public:
    explicit DescriptorSource(int fd) : fd_(fd) {}
    ReadStep read(const std::span<char> into) override {
        const ssize_t got = ::read(fd_, into.data(), into.size());
        if (got < 0) return {0, errno};
        return {static_cast<std::size_t>(got), 0};
    }

private:
    int fd_;
};

}  // namespace

std::string notRegularFileText(const FileKind kind) {
    const auto refused = [](const std::string& what) {
        return "The file is " + what + "; Lanternwick reads only regular files.";
    };
    switch (kind) {
    case FileKind::regular: return {};
    case FileKind::directory: return errorText(EISDIR);
    case FileKind::namedPipe: return refused("a named pipe (FIFO)");
    case FileKind::characterDevice: return refused("a character device");
    case FileKind::blockDevice: return refused("a block device");
    case FileKind::socket: return refused("a socket");
    case FileKind::other: break;
    }
    return refused("not a regular file");
}

std::string fileTooLargeText(const std::uint64_t size, const std::uint64_t limit) {
    return "The file is " + mebibytesText(size) + "; Lanternwick reads marker files up to " + limitText(limit) + ".";
}

std::string fileGrewPastLimitText(const std::uint64_t limit) {
    return "The file grew past " + limitText(limit) + " while being read; Lanternwick reads marker files up to " +
           limitText(limit) + ".";
}

Result<std::string, std::string> readBoundedFile(const FileFacts& facts, ByteSource& source,
                                                 const std::uint64_t limit) {
    if (facts.kind != FileKind::regular) {
        return fail(notRegularFileText(facts.kind));
    }
    if (facts.size > limit) {
        return fail(fileTooLargeText(facts.size, limit));
    }
    // The size is a hint only: the file may grow or shrink while it is read.
    // One byte past the bound is room enough to tell that it grew past it.
    const std::size_t ceiling = static_cast<std::size_t>(limit) + 1;
    std::string bytes(std::min<std::size_t>(std::max<std::size_t>(facts.size + 1, smallestBuffer), ceiling), '\0');
    std::size_t length = 0;
    while (true) {
        if (length == bytes.size()) {
            if (length == ceiling) {
                return fail(fileGrewPastLimitText(limit));
            }
            bytes.resize(std::min(bytes.size() * 2, ceiling));
        }
        const std::span<char> room(bytes.data() + length, bytes.size() - length);
        const ReadStep step = source.read(room);
        if (step.error == EINTR) {
            continue;
        }
        if (step.error != 0) {
            return fail(errorText(step.error));
        }
        if (step.count == 0) {
            break;
        }
        length += std::min(step.count, room.size());
    }
    bytes.resize(length);
    return bytes;
}

bool LocalFileSystem::fileExists(const std::filesystem::path& path) const {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        return true;
    }
    // A folder the user may no longer search hides the file without removing
    // it; the read then says why.
    return errno != ENOENT && errno != ENOTDIR;
}

Result<std::string, std::string> LocalFileSystem::readFile(const std::filesystem::path& path) const {
    // Looked at before opening: opening a device can have effects of its own.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return fail(errorText(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return fail(notRegularFileText(factsOf(info).kind));
    }
    // Non-blocking, because the path may have become a named pipe since the
    // look; what was opened is judged again below.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        return fail(errorText(errno));
    }
    if (::fstat(file.get(), &info) != 0) {
        return fail(errorText(errno));
    }
    DescriptorSource source(file.get());
    return readBoundedFile(factsOf(info), source);
}

}  // namespace lanternwick
