// Console command lines over loopback: the OSC TCP client (encode, SLIP
// frame, queue, write) against a plain POSIX loop that writes the same
// frames one write() each, both into the same kind of sink in the same run.
// Also the CPU an idle connected client uses. Prints the ratio at the end.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackListener.h"
#include "osc/tcp/OSCTCPClient.h"

namespace lanternwick {
namespace {

constexpr int messageCount = 100000;

double processCPUSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::vector<OSCMessage> consoleCommands() {
    std::vector<OSCMessage> out;
    out.reserve(messageCount);
    for (int i = 0; i < messageCount; ++i) {
        out.emplace_back("/eos/user/0/newcmd",
                         std::vector<OSCValue>{"Cue 1 / " + std::to_string(i % 500 + 1) + " Time 3 Enter"});
    }
    return out;
}

// Accepts one connection on 127.0.0.1 and reads until `expected` bytes have
// arrived (or the peer closes), then reports how many it got.
class Sink {
public:
    explicit Sink(std::size_t expected) : expected_(expected) {
        listener_ = listenOnLoopback(port_);
        reader_ = std::thread([this] { run(); });
    }
    ~Sink() {
        reader_.join();
        ::close(listener_);
    }

    std::uint16_t port() const { return port_; }
    std::size_t waitForAll() { return done_.get_future().get(); }

private:
    void run() {
        const int fd = ::accept(listener_, nullptr, nullptr);
        std::vector<std::uint8_t> buffer(1 << 16);
        std::size_t received = 0;
        while (received < expected_) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) break;
            received += static_cast<std::size_t>(n);
        }
        done_.set_value(received);
        // Hold the connection until the writer has closed its side.
        while (::recv(fd, buffer.data(), buffer.size(), 0) > 0) {
        }
        ::close(fd);
    }

    std::size_t expected_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::promise<std::size_t> done_;
    std::thread reader_;
};

struct Measured {
    double messagesPerSecond = 0;
    double cpuMicrosPerMessage = 0;
};

Measured plainBest;
Measured clientBest;

void report(benchmark::State& state, double seconds, double cpu, Measured& best) {
    const double rate = messageCount / seconds;
    const double cpuPerMessage = cpu / messageCount * 1e6;
    state.SetIterationTime(seconds);
    state.counters["msgs_per_s"] = rate;
    state.counters["cpu_us_per_msg"] = cpuPerMessage;
    if (rate > best.messagesPerSecond) best = {rate, cpuPerMessage};
}

void BM_PlainPOSIXWriteLoop(benchmark::State& state) {
    const auto commands = consoleCommands();
    std::vector<OSCBytes> frames;
    std::size_t total = 0;
    for (const auto& m : commands) {
        frames.push_back(slipEncode(*m.rawData()));
        total += frames.back().size();
    }
    for (auto _ : state) {
        Sink sink(total);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(sink.port());
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to));

        const double cpuStart = processCPUSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (const auto& frame : frames) {
            if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())) {
                state.SkipWithError("short write");
                break;
            }
        }
        const std::size_t received = sink.waitForAll();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = processCPUSeconds() - cpuStart;
        ::close(fd);
        if (received != total) state.SkipWithError("sink got fewer bytes");
        report(state, seconds, cpu, plainBest);
    }
}

void BM_OSCTCPClientSend(benchmark::State& state) {
    const auto commands = consoleCommands();
    std::size_t total = 0;
    for (const auto& m : commands) total += slipEncode(*m.rawData()).size();
    for (auto _ : state) {
        Sink sink(total);
        auto client = OSCTCPClient::create("127.0.0.1", sink.port(), std::nullopt, OSCTimeTagMode::ignore,
                                           OSCTCPFramingMode::osc1_1);
        std::promise<void> connected;
        client->setNotificationHandler([&connected](const OSCTCPClient::Notification& n) {
            if (n.kind == OSCTCPClient::Notification::Kind::connected) connected.set_value();
        });
        client->queue().sync([] {});
        if (!client->connect(5).ok() ||
            connected.get_future().wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            state.SkipWithError("no connection");
            break;
        }

        const double cpuStart = processCPUSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (const auto& m : commands) {
            if (!client->send(m).ok()) {
                state.SkipWithError("encode failed");
                break;
            }
        }
        const std::size_t received = sink.waitForAll();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = processCPUSeconds() - cpuStart;
        client->setNotificationHandler({});
        client.reset();
        if (received != total) state.SkipWithError("sink got fewer bytes");
        report(state, seconds, cpu, clientBest);
    }
}

// A connected client with nothing to send or receive must cost nothing:
// no timers, no polling, only readiness waits in the kernel.
void BM_IdleConnectedClientCPU(benchmark::State& state) {
    for (auto _ : state) {
        Sink sink(1);
        auto client = OSCTCPClient::create("127.0.0.1", sink.port(), std::nullopt, OSCTimeTagMode::ignore,
                                           OSCTCPFramingMode::osc1_1);
        std::promise<void> connected;
        client->setNotificationHandler([&connected](const OSCTCPClient::Notification& n) {
            if (n.kind == OSCTCPClient::Notification::Kind::connected) connected.set_value();
        });
        client->queue().sync([] {});
        if (!client->connect(5).ok() ||
            connected.get_future().wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            state.SkipWithError("no connection");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const double cpuStart = processCPUSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const double cpu = processCPUSeconds() - cpuStart;
        state.SetIterationTime(3);
        state.counters["idle_cpu_ms_per_3s"] = cpu * 1e3;
        // Let the sink finish: one byte ends its wait, the close ends its hold.
        (void)client->send(OSCMessage("/eos/user/0/key/blind"));
        client->setNotificationHandler({});
        client.reset();
        sink.waitForAll();
    }
}

BENCHMARK(BM_PlainPOSIXWriteLoop)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OSCTCPClientSend)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleConnectedClientCPU)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lanternwick

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    using lanternwick::clientBest;
    using lanternwick::plainBest;
    if (plainBest.messagesPerSecond > 0 && clientBest.messagesPerSecond > 0) {
        std::printf("\nBest of each: plain write loop %.0f msgs/s (%.2f us CPU/msg), OSC TCP client %.0f msgs/s "
                    "(%.2f us CPU/msg)\n",
                    plainBest.messagesPerSecond, plainBest.cpuMicrosPerMessage, clientBest.messagesPerSecond,
                    clientBest.cpuMicrosPerMessage);
        std::printf("Throughput ratio client / plain loop: %.2f (goal >= 0.80)\n",
                    clientBest.messagesPerSecond / plainBest.messagesPerSecond);
    }
    return 0;
}
