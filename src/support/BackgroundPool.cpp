#include "support/BackgroundPool.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace lanternwick {

namespace {

using namespace std::chrono_literals;

// A thread that found no work for this long ends; the next job starts one.
constexpr auto idleThreadLifetime = 5s;

class Workers {
public:
    void submit(BackgroundPool::Job job, BackgroundPool::Wanted wanted) {
        std::lock_guard lock(mutex_);
        jobs_.push_back({std::move(job), std::move(wanted)});
        // Every idle thread may already be promised to an earlier job.
        if (jobs_.size() > idle_ && threads_ < BackgroundPool::maximumThreads && startThread()) return;
        wake_.notify_one();
    }

private:
    struct Entry {
        BackgroundPool::Job job;
        BackgroundPool::Wanted wanted;
    };

    // Called under the lock. A thread the system refuses leaves the job to
    // the threads there are.
    bool startThread() {
        try {
            std::thread([this] { work(); }).detach();
        } catch (const std::system_error&) {
            return false;
        }
        ++threads_;
        return true;
    }

    void work() {
        for (;;) {
            Entry entry;
            {
                std::unique_lock lock(mutex_);
                ++idle_;
                const bool found = wake_.wait_for(lock, idleThreadLifetime, [this] { return !jobs_.empty(); });
                --idle_;
                if (!found) {
                    --threads_;
                    return;
                }
                entry = std::move(jobs_.front());
                jobs_.pop_front();
            }
            if (!entry.wanted || entry.wanted()) entry.job();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Entry> jobs_;
    std::size_t idle_ = 0;
    int threads_ = 0;
};

// Never destroyed: the queues and the pool post to each other until the
// process ends, so neither may be torn down first; the threads end with it.
Workers& workers() {
    static Workers* const pool = std::make_unique<Workers>().release();
    return *pool;
}

}  // namespace

void BackgroundPool::submit(Job job, Wanted wanted) { workers().submit(std::move(job), std::move(wanted)); }

}  // namespace lanternwick
