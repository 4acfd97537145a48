// ConsoleLock on POSIX: an flock(2) on the file, which the system lets go
// with the process however it ends, under the XDG folders.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "monitor/ConsoleLockFile.h"

namespace lanternwick::consoleLockFile {

std::filesystem::path defaultFolder() {
    const auto absoluteFolder = [](const char* variable) -> std::optional<std::filesystem::path> {
        const char* value = std::getenv(variable);
        if (value == nullptr || value[0] != '/') return std::nullopt;
        return std::filesystem::path(value);
    };
    if (const auto runtime = absoluteFolder("XDG_RUNTIME_DIR")) return *runtime / "lanternwick";
    if (const auto cache = absoluteFolder("XDG_CACHE_HOME")) return *cache / "lanternwick";
    if (const auto home = absoluteFolder("HOME")) return *home / ".cache" / "lanternwick";
    return std::filesystem::temp_directory_path() / ("lanternwick-" + std::to_string(::getuid()));
}

Opened openLocked(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return {.handle = noHandle, .heldElsewhere = false, .error = std::strerror(errno)};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        if (reason == EWOULDBLOCK) return {.handle = fd, .heldElsewhere = true, .error = {}};
        ::close(fd);
        return {.handle = noHandle, .heldElsewhere = false, .error = std::strerror(reason)};
    }
    return {.handle = fd, .heldElsewhere = false, .error = {}};
}

std::optional<std::int64_t> writtenProcess(const Handle handle) {
    char text[32] = {};
    const auto got = ::pread(static_cast<int>(handle), text, sizeof text - 1, 0);
    if (got <= 0) return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || value <= 0) return std::nullopt;
    return static_cast<pid_t>(value);
}

void writeOwnProcess(const Handle handle) {
    const std::string id = std::to_string(::getpid()) + "\n";
    if (::ftruncate(static_cast<int>(handle), 0) == 0) {
        [[maybe_unused]] const auto written = ::pwrite(static_cast<int>(handle), id.data(), id.size(), 0);
    }
}

void close(const Handle handle) {
    ::close(static_cast<int>(handle));
}

}  // namespace lanternwick::consoleLockFile
