#include "monitor/FileWatcher.h"

#include <atomic>

namespace lanternwick {

FileWatcherFactory noFileWatcher() {
    return [](const std::filesystem::path&, std::function<void()>) {
        return FileWatchStart{FileWatch(), "Change notification is off; saves are picked up by the check every second."};
    };
}

std::function<void()> coalescedPost(std::weak_ptr<MainQueue> queue, std::function<void()> task) {
    auto pending = std::make_shared<std::atomic<bool>>(false);
    return [queue = std::move(queue), task = std::move(task), pending] {
        const auto mainQueue = queue.lock();
        if (!mainQueue || pending->exchange(true)) {
            return;
        }
        // Cleared before the task runs, so a notice that arrives during it is not lost.
        mainQueue->async([task, pending] {
            pending->store(false);
            task();
        });
    };
}

}  // namespace lanternwick
