#pragma once
// FileWatcher: tells the monitor at once when the marker file may have
// changed, so a save reaches the console without waiting for the next
// one-second poll. The poll stays the safety net: a watch that cannot be set
// up, or a file system that reports nothing (network shares), only loses the
// speed-up, never a change.
// A watcher is a factory (FileWatcherFactory) that the monitor calls on the
// main thread; the FileWatch it returns belongs to the monitor and stops the
// watch when destroyed or replaced. `changed` runs on the watcher's own
// queue, never on the main thread, and may run once more after the watch was
// stopped.
// The Linux watcher (inotifyFileWatcher) watches the file's folder, not the
// file, so atomic saves, deletions and re-creations keep being seen. It reads
// the kernel's notices into one fixed 8 KiB buffer; a kernel queue overflow
// only means "look now and watch the folder afresh"; it calls `changed` at
// most once per `spacing`. A folder that vanishes or moves is watched again as
// soon as it is back (tried every `retry`).

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "support/MainQueue.h"
#include "support/SerialQueue.h"

namespace lanternwick {

// A running watch; destroying it (or assigning another) stops it.
class FileWatch {
public:
    FileWatch() = default;
    explicit FileWatch(std::function<void()> stop) : stop_(std::move(stop)) {}
    ~FileWatch() { stop(); }

    FileWatch(FileWatch&& other) noexcept : stop_(std::exchange(other.stop_, nullptr)) {}
    FileWatch& operator=(FileWatch&& other) noexcept {
        if (this != &other) {
            stop();
            stop_ = std::exchange(other.stop_, nullptr);
        }
        return *this;
    }
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

private:
    void stop() {
        if (auto stop = std::exchange(stop_, nullptr)) stop();
    }

    std::function<void()> stop_;
};

struct FileWatchStart {
    FileWatch watch;
    // Empty while changes are reported; otherwise why not, in plain words.
    std::string unavailable;
};

// Starts watching `file`; `changed` is called once per burst of changes to
// it, on a queue of the watcher's choosing.
using FileWatcherFactory =
    std::function<FileWatchStart(const std::filesystem::path& file, std::function<void()> changed)>;

struct FileWatchTiming {
    // A finished write or a rename onto the file: notices this close together
    // are one change.
    std::chrono::milliseconds burst{5};
    // A creation or a deletion: editors that save by moving the old file
    // away and writing a new one finish within this, and their final write
    // shortens the wait to `burst`, so a save is not seen as a removal.
    std::chrono::milliseconds settle{100};
    // Looks are at least this far apart, so a file rewritten without pause
    // costs a bounded number of polls a second, not one per burst.
    std::chrono::milliseconds spacing{50};
    // How often a folder that could not be watched is tried again.
    std::chrono::milliseconds retry{1000};
};

// The watcher of the platform the program was built for, reporting on
// `queue`: inotifyFileWatcher on Linux (FileWatcherLinux.cpp). A port that
// has no watcher yet returns noFileWatcher() from its own file.
FileWatcherFactory platformFileWatcher(SerialQueue queue);

// Linux only: inotify on the folder of the file, read through Asio on `queue`.
FileWatcherFactory inotifyFileWatcher(SerialQueue queue, FileWatchTiming timing = {});

// Reports nothing: the one-second poll alone, as before change notification.
FileWatcherFactory noFileWatcher();

// Linux only: what one read of inotify notices asks for, for the watch `watchDescriptor`
// on the folder of the file `name`.
// Ordered by strength.
enum class FileWatchReaction {
    none,
    // The file was created or went away: look after `settle`.
    lookAfterSettling,
    // The file was written and closed or renamed into place: look after `burst`.
    look,
    // The folder itself went away or moved, or notices were lost: look after
    // `burst` and watch the folder's path again.
    lookAndRewatch,
};
// Notices of other files and other watches are ignored; a truncated notice
// ends the buffer. The strongest reaction of the buffer wins.
FileWatchReaction inotifyReaction(std::span<const std::byte> notices, int watchDescriptor, std::string_view name);

// Returns a callable for any thread that posts `task` to the main queue
// unless an earlier post of it has not started yet, so a backlog of notices
// costs one run. Holds the queue weakly.
std::function<void()> coalescedPost(std::weak_ptr<MainQueue> queue, std::function<void()> task);

}  // namespace lanternwick
