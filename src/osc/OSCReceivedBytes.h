#pragma once
// OSCReceivedBytes: what a decoded message keeps of the bytes it was read
// from. Most replies are laid out exactly as our encoder would write their
// content, and for those only that fact is kept: the bytes are encoded on
// the first request for them, once, under a lock, so a message shared
// between threads can still be asked from any of them. Anything else keeps a
// copy. Copies and moves carry over whatever is there.

#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

#include "osc/OSCBytes.h"

namespace lanternwick {

class OSCReceivedBytes {
public:
    OSCReceivedBytes() = default;
    OSCReceivedBytes(const OSCReceivedBytes& other) { copyFrom(other); }
    OSCReceivedBytes(OSCReceivedBytes&& other) noexcept
        : bytes_(std::move(other.bytes_)), pending_(other.pending_.load(std::memory_order_relaxed)) {}
    OSCReceivedBytes& operator=(const OSCReceivedBytes& other) {
        if (this != &other) {
            copyFrom(other);
        }
        return *this;
    }
    OSCReceivedBytes& operator=(OSCReceivedBytes&& other) noexcept {
        bytes_ = std::move(other.bytes_);
        pending_.store(other.pending_.load(std::memory_order_relaxed), std::memory_order_relaxed);
        return *this;
    }

    void keep(OSCBytes bytes) {
        bytes_ = std::move(bytes);
        pending_.store(false, std::memory_order_relaxed);
    }
    // The encoder reproduces the received bytes from the content.
    void keepReproducible() {
        bytes_.reset();
        pending_.store(true, std::memory_order_relaxed);
    }

    // The copy, when one was kept (a reproducible message has none yet).
    const OSCBytes* copy() const {
        return !pending_.load(std::memory_order_acquire) && bytes_ ? &*bytes_ : nullptr;
    }

    // The bytes, made by `encode` for a reproducible message first time round.
    template <typename Encode>
    const std::optional<OSCBytes>& get(Encode encode) const {
        if (pending_.load(std::memory_order_acquire)) {
            static std::mutex making;
            std::lock_guard lock(making);
            if (pending_.load(std::memory_order_relaxed)) {
                bytes_ = encode();
                pending_.store(false, std::memory_order_release);
            }
        }
        return bytes_;
    }

private:
    // A reproducible source stays reproducible rather than have its bytes
    // read while another thread may be making them.
    void copyFrom(const OSCReceivedBytes& other) {
        const bool pending = other.pending_.load(std::memory_order_acquire);
        if (pending) {
            bytes_.reset();
        } else {
            bytes_ = other.bytes_;
        }
        pending_.store(pending, std::memory_order_relaxed);
    }

    mutable std::optional<OSCBytes> bytes_;
    mutable std::atomic<bool> pending_{false};
};

}  // namespace lanternwick
