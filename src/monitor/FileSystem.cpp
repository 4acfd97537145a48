#include "monitor/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lanternwick {
namespace {

std::string errorText(int errorNumber) { return std::strerror(errorNumber); }

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

}  // namespace

bool LocalFileSystem::fileExists(const std::filesystem::path& path) const {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

Result<std::string, std::string> LocalFileSystem::readFile(const std::filesystem::path& path) const {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return fail(errorText(errno));
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return fail(errorText(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return fail(errorText(EISDIR));
    }
    std::string bytes;
    // The size is a hint only: the file may grow or shrink while it is read.
    std::size_t capacity = info.st_size > 0 ? static_cast<std::size_t>(info.st_size) + 1 : 4096;
    std::size_t length = 0;
    bytes.resize(capacity);
    while (true) {
        if (length == capacity) {
            capacity *= 2;
            bytes.resize(capacity);
        }
        const ssize_t got = ::read(file.get(), bytes.data() + length, capacity - length);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(errorText(errno));
        }
        if (got == 0) {
            break;
        }
        length += static_cast<std::size_t>(got);
    }
    bytes.resize(length);
    return bytes;
}

}  // namespace lanternwick
