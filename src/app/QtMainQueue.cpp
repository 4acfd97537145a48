#include "app/QtMainQueue.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace lanternwick {

QtMainQueue::QtMainQueue() : context_(std::make_unique<QObject>()) {}

QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::async(Task task) {
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

CancelHandle QtMainQueue::asyncAfter(Duration delay, Task task) {
    CancelHandle handle;
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(delay);
    QObject* context = context_.get();
    auto guarded = [handle, task = std::move(task)] {
        if (!handle.isCancelled()) {
            task();
        }
    };
    auto start = [context, milliseconds, guarded = std::move(guarded)]() mutable {
        QTimer::singleShot(std::max(milliseconds, std::chrono::milliseconds::zero()), Qt::PreciseTimer,
                           context, std::move(guarded));
    };
    // A timer must be started on the thread whose event loop fires it.
    if (QThread::currentThread() == context->thread()) {
        start();
    } else {
        QMetaObject::invokeMethod(context, std::move(start), Qt::QueuedConnection);
    }
    return handle;
}

}  // namespace lanternwick
