#pragma once
// QtMainQueue: the MainQueue of the desktop application, backed by the Qt
// event loop of the GUI thread. Created once by main() on the GUI thread and
// owned there; async and asyncAfter may be called from any thread and always
// run their task on the GUI thread, async tasks in posting order. Tasks still
// pending when the queue is destroyed never run. Delays use precise timers,
// so the 0.6 s debounce is not stretched by Qt's coarse-timer slack.

#include <memory>

#include <QObject>

#include "support/MainQueue.h"

namespace lanternwick {

class QtMainQueue final : public MainQueue {
public:
    QtMainQueue();
    ~QtMainQueue() override;

    QtMainQueue(const QtMainQueue&) = delete;
    QtMainQueue& operator=(const QtMainQueue&) = delete;

    void async(Task task) override;
    CancelHandle asyncAfter(Duration delay, Task task) override;

private:
    // Lives on the GUI thread; queued calls and timers bound to it die with it.
    std::unique_ptr<QObject> context_;
};

}  // namespace lanternwick
