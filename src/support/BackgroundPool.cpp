#include "support/BackgroundPool.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lanternwick {

namespace {

// Resolver calls can block for seconds; four threads let a few slow lookups
// run side by side without one holding up the rest.
class Workers {
public:
    Workers() {
        for (int i = 0; i < 4; ++i) threads_.emplace_back([this] { work(); });
    }

    void submit(BackgroundPool::Job job) {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        wake_.notify_one();
    }

private:
    [[noreturn]] void work() {
        for (;;) {
            BackgroundPool::Job job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !jobs_.empty(); });
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<BackgroundPool::Job> jobs_;
    std::vector<std::thread> threads_;
};

// Never destroyed: the queues and the pool post to each other until the
// process ends, so neither may be torn down first; the threads end with it.
Workers& workers() {
    static Workers* const pool = std::make_unique<Workers>().release();
    return *pool;
}

}  // namespace

void BackgroundPool::submit(Job job) { workers().submit(std::move(job)); }

}  // namespace lanternwick
