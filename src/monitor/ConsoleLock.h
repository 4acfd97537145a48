#pragma once
// ConsoleLock: one copy of Lanternwick per console. Two copies talking to
// the same console would each send every line, so the console would get
// every line twice and be asked every deletion twice. A session holds an
// exclusive lock (flock(2) on POSIX, see ConsoleLockFile.h) on a file named
// after the console's host and port (as the monitor normalises them:
// trimmed, blank is the default host, 0 the default port), under
// $XDG_RUNTIME_DIR/lanternwick, else the user's cache folder
// ($XDG_CACHE_HOME, else ~/.cache). The file holds the holder's process id
// so that a refusal can name it. The lock goes with the process, however it
// ends; the file stays and is simply locked again.
// Two spellings of one console ("localhost" and "127.0.0.1") are two locks.
// A value type that owns its open lock file; any thread, one owner. Free of
// Qt, so the window and the terminal mode share it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "support/Result.h"

namespace lanternwick {

struct ConsoleLockRefusal {
    std::string host;
    std::uint16_t port = 0;
    // The copy that holds the lock; absent when it could not be read.
    std::optional<std::int64_t> otherProcess;
    // Set when the lock file could not be made at all (not another copy).
    std::string systemError;

    // "another Lanternwick (process 4711) is already talking to the console
    // at 127.0.0.1:8555", or why the lock could not be taken.
    std::string description() const;
};

class ConsoleLock {
public:
    // Takes the lock for the console at host:port, without waiting.
    static Result<ConsoleLock, ConsoleLockRefusal> acquire(std::string_view host, std::uint16_t port);
    static Result<ConsoleLock, ConsoleLockRefusal> acquire(std::string_view host, std::uint16_t port,
                                                           const std::filesystem::path& folder);

    // $XDG_RUNTIME_DIR/lanternwick, else the cache folder's lanternwick.
    static std::filesystem::path defaultFolder();
    // The file name for a console: unusual characters of the host are
    // written as %XX, so every host gives one plain file name.
    static std::string fileName(std::string_view host, std::uint16_t port);

    ConsoleLock(ConsoleLock&& other) noexcept;
    ConsoleLock& operator=(ConsoleLock&& other) noexcept;
    ~ConsoleLock();

    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }
    // True when this lock is for the console host:port would normalise to.
    bool isFor(std::string_view host, std::uint16_t port) const;

private:
    ConsoleLock(std::intptr_t handle, std::string host, std::uint16_t port)
        : handle_(handle), host_(std::move(host)), port_(port) {}

    // The system's handle of the open lock file (see ConsoleLockFile.h).
    std::intptr_t handle_ = -1;
    std::string host_;
    std::uint16_t port_ = 0;
};

}  // namespace lanternwick
