#pragma once
// Test peers on loopback: a listening socket on 127.0.0.1 or ::1 with an
// ephemeral port, and blocking helpers for the accepted side. Plain POSIX,
// so the socket under test is judged by code that shares nothing with it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lanternwick::testing {

class LoopbackListener {
public:
    // family AF_INET listens on 127.0.0.1, AF_INET6 on ::1 only.
    explicit LoopbackListener(int family = AF_INET, int backlog = 16) {
        fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (family == AF_INET) {
            auto* in = reinterpret_cast<sockaddr_in*>(&storage);
            in->sin_family = AF_INET;
            in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof(sockaddr_in);
        } else {
            ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
            in6->sin6_family = AF_INET6;
            in6->sin6_addr = in6addr_loopback;
            length = sizeof(sockaddr_in6);
        }
        ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&storage), length) == 0 && ::listen(fd_, backlog) == 0;
        socklen_t size = sizeof(storage);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&storage), &size);
        port_ = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&storage)->sin_port
                                        : reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
    }
    ~LoopbackListener() { close(); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool ok() const { return ok_; }
    std::uint16_t port() const { return port_; }
    int fd() const { return fd_; }

    // The accepted descriptor, or -1 when nobody connected in time.
    int accept(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return -1;
        return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    }

    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    bool ok_ = false;
};

// A listener whose accept queue is full, so that the kernel drops further
// handshakes: a connect to it gets no answer at all.
class SilentListener {
public:
    SilentListener() : listener_(AF_INET, 0) {
        for (int i = 0; i < 3; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            to.sin_port = htons(listener_.port());
            ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to));
            fillers_.push_back(fd);
        }
        pollfd p{listener_.fd(), POLLIN, 0};
        ::poll(&p, 1, 1000);
    }
    ~SilentListener() {
        for (int fd : fillers_) ::close(fd);
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    std::uint16_t port() const { return listener_.port(); }
    // Accepts whatever is queued, so that a retried handshake would succeed.
    void drain() {
        for (int i = 0; i < 4; ++i) {
            const int fd = listener_.accept(std::chrono::milliseconds(200));
            if (fd >= 0) ::close(fd);
        }
    }

private:
    LoopbackListener listener_;
    std::vector<int> fillers_;
};

// A port on which nothing listens (bound, then released).
inline std::uint16_t unusedPort(int family = AF_INET) {
    LoopbackListener probe(family);
    return probe.port();
}

// Owns an accepted descriptor.
class Peer {
public:
    explicit Peer(int fd = -1) : fd_(fd) {}
    ~Peer() { close(); }
    Peer(Peer&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Peer& operator=(Peer&& other) noexcept {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
        return *this;
    }

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool send(const std::vector<std::uint8_t>& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    bool send(const std::string& text) const { return send(std::vector<std::uint8_t>(text.begin(), text.end())); }

    // Reads until `count` bytes arrived, the peer closed or the time ran out.
    std::vector<std::uint8_t> receive(std::size_t count,
                                      std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const {
        std::vector<std::uint8_t> out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::uint8_t chunk[65536];
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) != 1) break;
            const ssize_t n = ::recv(fd_, chunk, std::min(sizeof(chunk), count - out.size()), 0);
            if (n <= 0) break;
            out.insert(out.end(), chunk, chunk + n);
        }
        return out;
    }

    // True when the other side closed: a read returns end of stream in time.
    bool seesEndOfStream(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
        std::uint8_t byte = 0;
        return ::recv(fd_, &byte, 1, 0) == 0;
    }

    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

inline std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace lanternwick::testing
