#pragma once
// Test peers on loopback: a listening socket on 127.0.0.1 or ::1 with an
// ephemeral port, and blocking helpers for the accepted side. Plain POSIX,
// so the socket under test is judged by code that shares nothing with it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lanternwick::testing {

using namespace std::chrono_literals;

inline std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// Owns a descriptor (an accepted connection, or a listener underneath).
class Peer {
public:
    explicit Peer(int fd = -1) : fd_(fd) {}
    ~Peer() { close(); }
    Peer(Peer&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Peer& operator=(Peer&& other) noexcept {
        close();
        fd_ = std::exchange(other.fd_, -1);
        return *this;
    }

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool readable(std::chrono::milliseconds timeout) const {
        pollfd p{fd_, POLLIN, 0};
        // A deadline already passed is a last look, not poll's "wait forever".
        return ::poll(&p, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(timeout.count(), 0))) == 1;
    }

    bool send(const std::vector<std::uint8_t>& bytes) const {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    bool send(const std::string& text) const { return send(bytesOf(text)); }

    // Reads until `count` bytes arrived, the peer closed (then `closed` is
    // set) or the time ran out.
    std::vector<std::uint8_t> receive(std::size_t count, std::chrono::milliseconds timeout = 5000ms,
                                      bool* closed = nullptr) const {
        std::vector<std::uint8_t> out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::vector<std::uint8_t> chunk(65536);
        while (out.size() < count &&
               readable(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()))) {
            const ssize_t n = ::recv(fd_, chunk.data(), std::min(chunk.size(), count - out.size()), 0);
            if (n <= 0) {
                if (closed) *closed = n == 0;
                break;
            }
            out.insert(out.end(), chunk.begin(), chunk.begin() + n);
        }
        return out;
    }

    // True when the other side closed: a read returns end of stream in time.
    bool seesEndOfStream(std::chrono::milliseconds timeout = 5000ms) const {
        std::uint8_t byte = 0;
        return readable(timeout) && ::recv(fd_, &byte, 1, 0) == 0;
    }

    void setOption(int level, int name, int value) const { ::setsockopt(fd_, level, name, &value, sizeof(value)); }

private:
    int fd_ = -1;
};

class LoopbackListener {
public:
    // family AF_INET listens on 127.0.0.1, AF_INET6 on ::1 only.
    explicit LoopbackListener(int family = AF_INET, int backlog = 16)
        : socket_(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const int on = 1;
        ::setsockopt(socket_.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        if (family == AF_INET6) ::setsockopt(socket_.fd(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
        sockaddr_storage storage = loopback(family, 0);
        socklen_t length = sizeof(storage);
        ::bind(socket_.fd(), reinterpret_cast<sockaddr*>(&storage), family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
        ::listen(socket_.fd(), backlog);
        ::getsockname(socket_.fd(), reinterpret_cast<sockaddr*>(&storage), &length);
        // sin_port and sin6_port sit at the same offset.
        port_ = ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    }

    static sockaddr_storage loopback(int family, std::uint16_t port) {
        sockaddr_storage storage{};
        if (family == AF_INET) {
            auto* in = reinterpret_cast<sockaddr_in*>(&storage);
            in->sin_family = AF_INET;
            in->sin_port = htons(port);
            in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        } else {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(port);
            in6->sin6_addr = in6addr_loopback;
        }
        return storage;
    }
    std::uint16_t port() const { return port_; }
    int fd() const { return socket_.fd(); }

    // The accepted side, invalid when nobody connected in time.
    Peer accept(std::chrono::milliseconds timeout = 5000ms) const {
        return Peer(socket_.readable(timeout) ? ::accept4(socket_.fd(), nullptr, nullptr, SOCK_CLOEXEC) : -1);
    }

private:
    Peer socket_;
    std::uint16_t port_ = 0;
};

// A listener whose accept queue is full, so that the kernel drops further
// handshakes: a connect to it gets no answer at all.
class SilentListener {
public:
    SilentListener() {
        for (int i = 0; i < 3; ++i) fillers_.push_back(startConnecting());
        pollfd p{listener_.fd(), POLLIN, 0};
        ::poll(&p, 1, 1000);
        // On a loaded machine a handshake can still slip in before the queue
        // counts as full; a probe shows whether one would, and an answered
        // probe stays as one more filler.
        for (int attempt = 0; attempt < 20; ++attempt) {
            Peer probe = startConnecting();
            pollfd q{probe.fd(), POLLOUT, 0};
            if (::poll(&q, 1, 100) == 0) return;
            fillers_.push_back(std::move(probe));
        }
    }

    std::uint16_t port() const { return listener_.port(); }
    // Accepts whatever is queued, so that a retried handshake would succeed.
    void drain() {
        for (int i = 0; i < 4; ++i) listener_.accept(200ms);
    }

private:
    Peer startConnecting() const {
        const sockaddr_storage to = LoopbackListener::loopback(AF_INET, listener_.port());
        Peer peer(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(peer.fd(), reinterpret_cast<const sockaddr*>(&to), sizeof(sockaddr_in));
        return peer;
    }

    LoopbackListener listener_{AF_INET, 0};
    std::vector<Peer> fillers_;
};

// A port on which nothing listens (bound, then released).
inline std::uint16_t unusedPort() { return LoopbackListener().port(); }

}  // namespace lanternwick::testing
