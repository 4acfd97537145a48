#include "support/BackgroundPool.h"

#include <asio/post.hpp>
#include <asio/thread_pool.hpp>

namespace lanternwick {

namespace {

// Resolver calls can block for seconds; four threads let a few slow lookups
// run side by side without one holding up the rest.
asio::thread_pool& pool() {
    static asio::thread_pool threads(4);
    return threads;
}

}  // namespace

void BackgroundPool::submit(Job job) { asio::post(pool(), std::move(job)); }

}  // namespace lanternwick
