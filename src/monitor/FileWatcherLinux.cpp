// Save notices on Linux: inotify on the folder of the file, read through Asio.
#include "monitor/FileWatcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include "support/AsioContext.h"

namespace lanternwick {
namespace {

using Clock = std::chrono::steady_clock;
using Reaction = FileWatchReaction;

// No IN_MODIFY: a file being written is looked at once it is closed.
constexpr std::uint32_t folderMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// Holds at least one notice with the longest name.
constexpr std::size_t noticeBufferSize = 8192;
static_assert(noticeBufferSize >= sizeof(inotify_event) + NAME_MAX + 1);

Reaction reactionTo(const inotify_event& notice, std::string_view noticeName, int watchDescriptor,
                    std::string_view name) {
    // Lost notices may have told that the folder moved.
    if ((notice.mask & IN_Q_OVERFLOW) != 0) {
        return Reaction::lookAndRewatch;
    }
    if (notice.wd != watchDescriptor) {
        return Reaction::none;
    }
    if ((notice.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) != 0) {
        return Reaction::lookAndRewatch;
    }
    if (noticeName != name) {
        return Reaction::none;
    }
    if ((notice.mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0) {
        return Reaction::look;
    }
    if ((notice.mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM)) != 0) {
        return Reaction::lookAfterSettling;
    }
    return Reaction::none;
}

std::string reasonText(int error) {
    switch (error) {
    case ENOSPC: return "the system's limit of watches is reached";
    case EMFILE: return "the system's limit of change-notification instances is reached";
    default: return std::system_category().message(error);
    }
}

// One watch of one folder. Built and first armed on the caller's thread;
// from then on every member runs on the queue.
class InotifyWatch : public std::enable_shared_from_this<InotifyWatch> {
public:
    InotifyWatch(const SerialQueue& queue, const std::filesystem::path& file, std::function<void()> changed,
                 FileWatchTiming timing)
        : folder_(file.has_parent_path() ? file.parent_path() : std::filesystem::path(".")),
          name_(file.filename().string()),
          changed_(std::move(changed)),
          timing_(timing),
          descriptor_(strandOf(queue)),
          lookTimer_(strandOf(queue)),
          retryTimer_(strandOf(queue)) {}

    const std::filesystem::path& folder() const { return folder_; }

    // Empty when the folder is watched, otherwise why not.
    std::string arm() {
        if (instance_ < 0) {
            instance_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            if (instance_ < 0) {
                return reasonText(errno);
            }
        }
        watchDescriptor_ = ::inotify_add_watch(instance_, folder_.c_str(), folderMask);
        return watchDescriptor_ < 0 ? reasonText(errno) : std::string();
    }

    void begin() {
        startReading();
        if (watchDescriptor_ < 0) {
            retryLater();
        }
    }

    void stop() {
        stopped_ = true;
        lookTimer_.cancel();
        retryTimer_.cancel();
        closeInstance();
    }

private:
    void startReading() {
        if (stopped_ || instance_ < 0 || descriptor_.is_open()) {
            return;
        }
        std::error_code error;
        descriptor_.assign(instance_, error);
        if (error) {
            ::close(instance_);
            instance_ = -1;
            watchDescriptor_ = -1;
            retryLater();
            return;
        }
        read();
    }

    void read() {
        descriptor_.async_read_some(asio::buffer(buffer_),
                                    [self = shared_from_this()](const std::error_code& error, std::size_t size) {
                                        if (self->stopped_ || error == asio::error::operation_aborted) {
                                            return;
                                        }
                                        if (error) {
                                            self->lostInstance();
                                            return;
                                        }
                                        self->react(size);
                                        self->read();
                                    });
    }

    void react(std::size_t size) {
        const auto notices = std::as_bytes(std::span(buffer_).first(size));
        switch (inotifyReaction(notices, watchDescriptor_, name_)) {
        case Reaction::none: break;
        case Reaction::lookAfterSettling: lookAfter(timing_.settle); break;
        case Reaction::look: lookAfter(timing_.burst); break;
        case Reaction::lookAndRewatch:
            lookAfter(timing_.burst);
            rewatch();
            break;
        }
    }

    // A moved folder keeps its watch under its new name, where the file is
    // no longer ours; a deleted one has lost it already.
    void rewatch() {
        ::inotify_rm_watch(instance_, watchDescriptor_);
        watchDescriptor_ = -1;
        if (!arm().empty()) {
            retryLater();
        }
    }

    void lostInstance() {
        closeInstance();
        lookAfter(timing_.burst);
        retryLater();
    }

    void closeInstance() {
        std::error_code ignored;
        if (descriptor_.is_open()) {
            descriptor_.close(ignored);
        } else if (instance_ >= 0) {
            ::close(instance_);
        }
        instance_ = -1;
        watchDescriptor_ = -1;
    }

    void retryLater() {
        if (retryPending_ || stopped_) {
            return;
        }
        retryPending_ = true;
        retryTimer_.expires_after(timing_.retry);
        retryTimer_.async_wait([self = shared_from_this()](const std::error_code& error) {
            self->retryPending_ = false;
            if (error || self->stopped_) {
                return;
            }
            if (!self->arm().empty()) {
                self->retryLater();
                return;
            }
            self->startReading();
            // Whatever happened while nobody watched.
            self->lookAfter(self->timing_.burst);
        });
    }

    // A later notice never delays a look already due; an earlier one brings it forward.
    void lookAfter(Clock::duration delay) {
        const auto due = std::max(Clock::now() + delay, lastLook_ + timing_.spacing);
        if (lookDue_ && *lookDue_ <= due) {
            return;
        }
        lookDue_ = due;
        const std::uint64_t generation = ++lookGeneration_;
        lookTimer_.expires_at(due);
        lookTimer_.async_wait([self = shared_from_this(), generation](const std::error_code& error) {
            if (error || self->stopped_ || generation != self->lookGeneration_) {
                return;
            }
            self->lookDue_.reset();
            self->lastLook_ = Clock::now();
            self->changed_();
        });
    }

    const std::filesystem::path folder_;
    const std::string name_;
    const std::function<void()> changed_;
    const FileWatchTiming timing_;
    asio::posix::stream_descriptor descriptor_;
    asio::steady_timer lookTimer_;
    asio::steady_timer retryTimer_;
    int instance_ = -1;
    int watchDescriptor_ = -1;
    bool stopped_ = false;
    bool retryPending_ = false;
    std::optional<Clock::time_point> lookDue_;
    Clock::time_point lastLook_{};
    std::uint64_t lookGeneration_ = 0;
    alignas(inotify_event) std::array<char, noticeBufferSize> buffer_{};
};

}  // namespace

FileWatchReaction inotifyReaction(std::span<const std::byte> notices, int watchDescriptor, std::string_view name) {
    Reaction strongest = Reaction::none;
    std::size_t offset = 0;
    while (notices.size() - offset >= sizeof(inotify_event)) {
        inotify_event notice{};
        std::memcpy(&notice, notices.data() + offset, sizeof notice);
        const std::size_t end = offset + sizeof notice + notice.len;
        if (end > notices.size()) {
            break;
        }
        const auto* raw = reinterpret_cast<const char*>(notices.data() + offset + sizeof notice);
        // The kernel pads the name with NULs up to len.
        const std::string_view noticeName(raw, ::strnlen(raw, notice.len));
        strongest = std::max(strongest, reactionTo(notice, noticeName, watchDescriptor, name));
        offset = end;
    }
    return strongest;
}

FileWatcherFactory inotifyFileWatcher(SerialQueue queue, FileWatchTiming timing) {
    return [queue, timing](const std::filesystem::path& file, std::function<void()> changed) {
        auto watch = std::make_shared<InotifyWatch>(queue, file, std::move(changed), timing);
        const std::string problem = watch->arm();
        queue.async([watch] { watch->begin(); });
        FileWatchStart start{FileWatch([queue, watch] { queue.async([watch] { watch->stop(); }); }), {}};
        if (!problem.empty()) {
            start.unavailable = "Saves in " + watch->folder().string() + " are not reported by the system (" +
                                problem + "); they are picked up by the check every second.";
        }
        return start;
    };
}

FileWatcherFactory platformFileWatcher(SerialQueue queue) { return inotifyFileWatcher(std::move(queue)); }

}  // namespace lanternwick
