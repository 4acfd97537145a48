#pragma once
// BackgroundPool: the process-wide pool for work that blocks (the system
// resolver). Jobs run on a few threads of their own, never on a SerialQueue,
// so a slow lookup cannot stall the queues; a job posts its result back to
// the queue that asked. Any thread may submit. Limits: jobs run concurrently
// and in no particular order; jobs still queued at exit are dropped.

#include <functional>

namespace lanternwick {

class BackgroundPool {
public:
    using Job = std::function<void()>;

    static void submit(Job job);
};

}  // namespace lanternwick
