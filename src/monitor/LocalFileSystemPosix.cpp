// The local file system on POSIX: what the reader decides from comes from
// stat(2), the bytes from read(2) on a descriptor opened without blocking.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "monitor/FileSystem.h"

namespace lanternwick {
namespace {

std::string errorText(int errorNumber) { return std::strerror(errorNumber); }

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
