#pragma once
// CancelHandle: returned by every "run this later" call. Cancelling is
// thread-safe and idempotent; a task whose handle was cancelled before it
// started never runs. Dropping the handle does not cancel.

#include <atomic>
#include <memory>

namespace lanternwick {

class CancelHandle {
public:
    CancelHandle() : flag_(std::make_shared<std::atomic<bool>>(false)) {}

    void cancel() const { flag_->store(true, std::memory_order_release); }
    bool isCancelled() const { return flag_->load(std::memory_order_acquire); }

private:
    std::shared_ptr<std::atomic<bool>> flag_;
};

}  // namespace lanternwick
