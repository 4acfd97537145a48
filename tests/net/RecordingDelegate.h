#pragma once
// A socket delegate that records every callback, with the queue it ran on,
// and lets a test wait for a condition on the record.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/AsyncTCPSocket.h"

namespace lanternwick::testing {

struct SocketEvent {
    enum class Kind { connect, read, readPartial, write, writePartial, closeReadStream, disconnect };
    Kind kind = Kind::connect;
    bool hadSocket = false;
    bool onDelegateQueue = false;
    std::string host;
    std::uint16_t port = 0;
    std::vector<std::uint8_t> data;
    long tag = 0;
    std::size_t length = 0;
    std::optional<AsyncTCPSocketError> error;
    std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();
};

class RecordingDelegate : public AsyncTCPSocketDelegate {
public:
    explicit RecordingDelegate(SerialQueue queue, bool observesWrites = false)
        : queue_(std::move(queue)), observesWrites_(observesWrites) {}

    void socketDidConnect(const Socket& s, const std::string& host, std::uint16_t port) override {
        SocketEvent e = event(SocketEvent::Kind::connect);
        e.host = host;
        e.port = port;
        add(s, std::move(e));
    }
    void socketDidRead(const Socket& s, const Bytes& data, long tag) override {
        SocketEvent e = event(SocketEvent::Kind::read);
        e.data = data;
        e.tag = tag;
        add(s, std::move(e));
    }
    void socketDidReadPartial(const Socket& s, std::size_t length, long tag) override {
        SocketEvent e = event(SocketEvent::Kind::readPartial);
        e.length = length;
        e.tag = tag;
        add(s, std::move(e));
    }
    void socketDidWrite(const Socket& s, long tag) override {
        SocketEvent e = event(SocketEvent::Kind::write);
        e.tag = tag;
        add(s, std::move(e));
    }
    void socketDidWritePartial(const Socket& s, std::size_t length, long tag) override {
        SocketEvent e = event(SocketEvent::Kind::writePartial);
        e.length = length;
        e.tag = tag;
        add(s, std::move(e));
    }
    double socketShouldTimeoutRead(const Socket&, long, double, std::size_t) override {
        std::lock_guard lock(mutex_);
        if (readExtensions_.empty()) return 0;
        const double next = readExtensions_.front();
        readExtensions_.erase(readExtensions_.begin());
        return next;
    }
    void socketDidCloseReadStream(const Socket& s) override { add(s, event(SocketEvent::Kind::closeReadStream)); }
    void socketDidDisconnect(const Socket& s, const std::optional<AsyncTCPSocketError>& error) override {
        SocketEvent e = event(SocketEvent::Kind::disconnect);
        e.error = error;
        add(s, std::move(e));
    }
    bool observesWrites() const override { return observesWrites_; }

    void setReadExtensions(std::vector<double> extensions) {
        std::lock_guard lock(mutex_);
        readExtensions_ = std::move(extensions);
    }

    std::vector<SocketEvent> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }

    std::vector<SocketEvent> eventsOf(SocketEvent::Kind kind) const {
        std::vector<SocketEvent> out;
        for (auto& e : events()) {
            if (e.kind == kind) out.push_back(e);
        }
        return out;
    }

    // Waits until `count` events of the kind have arrived; false on timeout.
    bool waitFor(SocketEvent::Kind kind, std::size_t count = 1,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            std::size_t n = 0;
            for (auto& e : events_) n += e.kind == kind ? 1 : 0;
            return n >= count;
        });
    }

    // The bytes of every read so far, in order.
    std::vector<std::uint8_t> readBytes() const {
        std::vector<std::uint8_t> all;
        for (auto& e : eventsOf(SocketEvent::Kind::read)) all.insert(all.end(), e.data.begin(), e.data.end());
        return all;
    }

    bool waitForReadBytes(std::size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            std::size_t n = 0;
            for (auto& e : events_) n += e.kind == SocketEvent::Kind::read ? e.data.size() : 0;
            return n >= count;
        });
    }

private:
    static SocketEvent event(SocketEvent::Kind kind) {
        SocketEvent e;
        e.kind = kind;
        return e;
    }

    void add(const Socket& s, SocketEvent e) {
        e.hadSocket = s != nullptr;
        e.onDelegateQueue = queue_.isCurrent();
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(e));
        }
        changed_.notify_all();
    }

    SerialQueue queue_;
    bool observesWrites_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<SocketEvent> events_;
    std::vector<double> readExtensions_;
};

}  // namespace lanternwick::testing
