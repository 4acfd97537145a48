#pragma once
// BackgroundPool: the process-wide pool for work that blocks (the system
// resolver). Jobs run on threads of their own, never on a SerialQueue, so a
// slow lookup cannot stall the queues; a job posts its result back to the
// queue that asked. Any thread may submit.
// Threads start when a job finds none idle and end after a few seconds
// without work, so a job that blocks for a minute holds only its own thread
// and later jobs get fresh ones. Limits: at most `maximumThreads` run at
// once; past that jobs wait in submission order, and a job whose `wanted`
// check says no by the time a thread is free is dropped without running
// (an abandoned lookup). Jobs run concurrently and in no particular order;
// jobs still waiting at exit are dropped.

#include <functional>

namespace lanternwick {

class BackgroundPool {
public:
    using Job = std::function<void()>;
    using Wanted = std::function<bool()>;

    static constexpr int maximumThreads = 16;

    static void submit(Job job, Wanted wanted = {});
};

}  // namespace lanternwick
