// Memory and responsiveness while a hostile console floods the link, over
// loopback, against two consumers: a bare OSC TCP client whose deliveries run
// on a main queue, and the Eos client on one. The console either sends ten
// frames of bundles nested 31 deep around a message of a million type tags,
// or floods cue replies for 20 s while an edit is posted to the main queue
// halfway through. Memory is the process's resident size: the idle figure
// of the connected consumer is the baseline, the peak (VmHWM, reset before
// each flood) the measurement. Prints the goals at the end.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackListener.h"
#include "eos/EosOSCClient.h"
#include "osc/tcp/OSCTCPClient.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::string_view editText = "Cue 1 / 12 Time 3 Enter";

// A field of /proc/self/status ("VmRSS", "VmHWM") in MB.
double statusMB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024.0;
    }
    return 0;
}

// The peak resident size starts again from the current one.
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Ten frames, each a message of a million null tags inside 31 bundles.
OSCBytes nestedFrame() {
    const OSCMessage huge("/eos/out/get/cue/1/1", std::vector<OSCValue>(1'000'000, OSCNullValue{}));
    OSCPacket packet = huge;
    for (std::uint64_t level = 0; level < 31; ++level) {
        packet = OSCBundle(std::vector<OSCPacket>{packet}, OSCTimeTag::immediate());
    }
    return slipEncode(*packet.rawData());
}

OSCBytes replyBatch() {
    OSCBytes batch;
    for (int i = 0; i < 1000; ++i) {
        const OSCMessage reply(std::string_view("/eos/out/get/cue/1/" + std::to_string(i + 1)),
                               {"Label " + std::to_string(i), std::int32_t{i}, 3.0f, "00:00:10:00"});
        const OSCBytes frame = slipEncode(*reply.rawData());
        batch.insert(batch.end(), frame.begin(), frame.end());
    }
    return batch;
}

// A console on 127.0.0.1 that sends what it is told as fast as the link
// takes it, reads everything it is sent, and notes when the edit arrives.
class HostileConsole {
public:
    HostileConsole() {
        listener_ = listenOnLoopback(port_);
    }
    ~HostileConsole() {
        stop();
        if (fd_ >= 0) ::close(fd_);
        ::close(listener_);
    }

    std::uint16_t port() const { return port_; }
    bool accept() {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 5000) != 1) return false;
        fd_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        return fd_ >= 0;
    }

    // Sends `bytes` `times` times, or again and again until `until`.
    void start(OSCBytes bytes, int times, Clock::time_point until) {
        thread_ = std::thread([this, bytes = std::move(bytes), times, until] {
            for (int i = 0; (times == 0 || i < times) && !stopping_; ++i) {
                if (!sendAll(bytes, times == 0 ? until : Clock::time_point::max())) break;
                sent_ += bytes.size();
            }
            finished_ = true;
            // Keep reading, so that a late edit is still seen.
            while (!stopping_) pump(false, 20);
        });
    }
    void stop() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool finished() const { return finished_; }
    std::size_t bytesSent() const { return sent_; }
    std::optional<Clock::time_point> editArrived() const {
        const auto at = editAt_.load();
        return at == 0 ? std::nullopt : std::optional(Clock::time_point(Clock::duration(at)));
    }

private:
    bool sendAll(const OSCBytes& bytes, Clock::time_point until) {
        for (std::size_t done = 0; done < bytes.size();) {
            if (stopping_ || Clock::now() >= until) return false;
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                return false;
            } else {
                pump(true, 50);
            }
            pump(false, 0);
        }
        return true;
    }

    // Waits up to `milliseconds` for input (or room to write) and reads it.
    void pump(bool wantWrite, int milliseconds) {
        pollfd p{fd_, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
        if (::poll(&p, 1, milliseconds) != 1 || !(p.revents & POLLIN)) return;
        std::uint8_t buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof(buffer), 0);
        if (n <= 0) return;
        seen_.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
        if (editAt_ == 0 && seen_.find(editText) != std::string::npos) editAt_ = Clock::now().time_since_epoch().count();
        if (seen_.size() > 256) seen_.erase(0, seen_.size() - 64);
    }

    int listener_ = -1;
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::size_t> sent_{0};
    std::atomic<Clock::rep> editAt_{0};
    std::string seen_;
};

// The side under the flood; everything but construction runs on the thread
// that drives the main queue.
class Consumer {
public:
    virtual ~Consumer() = default;
    virtual bool connect(std::uint16_t port) = 0;
    virtual void sendEdit() = 0;
    // The most received bytes that waited for the main queue, where known.
    virtual std::size_t largestBacklog() const { return 0; }
    std::size_t received() const { return received_; }

protected:
    std::size_t received_ = 0;
};

// With a cost per reply, a main thread far slower than the link.
class BareClient : public Consumer {
public:
    BareClient(std::shared_ptr<RunLoopMainQueue> main, std::chrono::microseconds costPerReply)
        : main_(std::move(main)), costPerReply_(costPerReply) {}
    ~BareClient() override {
        watching_ = false;
        if (watcher_.joinable()) watcher_.join();
        client_.reset();
    }

    bool connect(std::uint16_t port) override {
        client_ = OSCTCPClient::create("127.0.0.1", port, std::nullopt, OSCTimeTagMode::ignore,
                                       OSCTCPFramingMode::osc1_1);
        client_->setReceiveHandler(
            [this](const OSCMessage& message, const OSCTimeTag&, const std::string&, std::uint16_t) {
                received_ += message.address().empty() ? 0 : 1;
                for (const auto until = Clock::now() + costPerReply_; Clock::now() < until;) {
                }
            },
            [main = main_](OSCTCPClient::DeliveryTask task) { main->async(std::move(task)); });
        client_->setNotificationHandler([this](const OSCTCPClient::Notification& n) {
            connected_ = n.kind == OSCTCPClient::Notification::Kind::connected;
        });
        client_->queue().sync([] {});
        watcher_ = std::thread([this, client = client_] {
            while (watching_) {
                largest_ = std::max(largest_.load(), client->receiveBacklogBytes());
                std::this_thread::sleep_for(5ms);
            }
        });
        return client_->connect(5).ok() && main_->runUntil([this] { return connected_.load(); }, 5s);
    }
    void sendEdit() override { (void)client_->send(OSCMessage("/eos/user/0/newcmd", {std::string(editText)})); }
    std::size_t largestBacklog() const override { return largest_; }

private:
    std::shared_ptr<RunLoopMainQueue> main_;
    std::chrono::microseconds costPerReply_;
    std::shared_ptr<OSCTCPClient> client_;
    std::atomic<bool> connected_{false};
    std::atomic<bool> watching_{true};
    std::atomic<std::size_t> largest_{0};
    std::thread watcher_;
};

class EosConsumer : public Consumer {
public:
    explicit EosConsumer(std::shared_ptr<RunLoopMainQueue> main) : main_(std::move(main)) {}

    bool connect(std::uint16_t port) override {
        eos_ = EosOSCClient::create(main_);
        EosLinkCallbacks callbacks;
        callbacks.onIncomingCueMessage = [this](const IncomingOSCMessage&) { ++received_; };
        callbacks.onConnectionStateChanged = [this](bool connected) { connected_ = connected; };
        eos_->setCallbacks(std::move(callbacks));
        eos_->configure("127.0.0.1", port, false);
        eos_->connect();
        return main_->runUntil([this] { return connected_; }, 5s);
    }
    void sendEdit() override { eos_->sendCommandLine(editText); }

private:
    std::shared_ptr<RunLoopMainQueue> main_;
    std::shared_ptr<EosOSCClient> eos_;
    bool connected_ = false;
};

std::unique_ptr<Consumer> makeConsumer(int kind, std::shared_ptr<RunLoopMainQueue> main) {
    if (kind == 0) return std::make_unique<BareClient>(std::move(main), 0us);
    if (kind == 2) return std::make_unique<BareClient>(std::move(main), 20us);
    return std::make_unique<EosConsumer>(std::move(main));
}

const char* consumerName(int kind) {
    return kind == 0 ? "OSCTCPClient" : kind == 2 ? "OSCTCPClient+20us" : "EosOSCClient";
}

struct Figures {
    double backlogMB = 0;
    double idleMB = 0;
    double peakMB = 0;
    double editMs = -1;
    std::size_t messages = 0;
    double seconds = 0;
};
std::map<std::string, Figures> results;

// One flood: a consumer connected to a fresh console and settled, with the
// peak reset so that it measures the flood alone.
struct Flood {
    explicit Flood(int kind) : consumer(makeConsumer(kind, main)) {
        connected = consumer->connect(console.port()) && console.accept();
        if (!connected) return;
        main->runFor(200ms);
        figures.idleMB = statusMB("VmRSS");
        resetPeak();
        start = Clock::now();
    }

    // Takes the figures every flood reports and stops the console.
    void finish(benchmark::State& state) {
        figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        figures.peakMB = statusMB("VmHWM");
        figures.messages = consumer->received();
        figures.backlogMB = static_cast<double>(consumer->largestBacklog()) / (1024.0 * 1024.0);
        console.stop();
        state.SetIterationTime(figures.seconds);
        state.counters["idle_MB"] = figures.idleMB;
        state.counters["peak_MB"] = figures.peakMB;
        state.counters["backlog_MiB"] = figures.backlogMB;
    }

    std::shared_ptr<RunLoopMainQueue> main = std::make_shared<RunLoopMainQueue>();
    HostileConsole console;
    std::unique_ptr<Consumer> consumer;
    bool connected = false;
    Figures figures;
    Clock::time_point start;
};

void BM_NestedBundleFlood(benchmark::State& state) {
    const OSCBytes frame = nestedFrame();
    for (auto _ : state) {
        Flood flood(static_cast<int>(state.range(0)));
        if (!flood.connected) {
            state.SkipWithError("no connection");
            break;
        }
        flood.console.start(frame, 10, Clock::time_point::max());
        flood.main->runUntil([&] { return flood.consumer->received() >= 10; }, 120s);
        flood.finish(state);
        state.counters["frames_MB"] = static_cast<double>(flood.console.bytesSent()) / 1e6;
        state.counters["delivered"] = static_cast<double>(flood.figures.messages);
        if (flood.figures.messages != 10) state.SkipWithError("not every message arrived");
        results[std::string("nested/") + consumerName(static_cast<int>(state.range(0)))] = flood.figures;
    }
}

void BM_ReplyFlood(benchmark::State& state) {
    const OSCBytes batch = replyBatch();
    const auto floodFor = std::chrono::seconds(state.range(1));
    for (auto _ : state) {
        Flood flood(static_cast<int>(state.range(0)));
        if (!flood.connected) {
            state.SkipWithError("no connection");
            break;
        }
        flood.console.start(batch, 0, flood.start + floodFor);
        // The edit is made elsewhere (the poll timer's queue) and joins the
        // main queue behind whatever deliveries wait there.
        std::atomic<Clock::rep> editPosted{0};
        std::thread editor([&] {
            std::this_thread::sleep_for(floodFor / 2);
            editPosted = Clock::now().time_since_epoch().count();
            flood.main->async([&flood] { flood.consumer->sendEdit(); });
        });
        flood.main->runUntil([&] { return flood.console.finished() && flood.console.editArrived().has_value(); },
                             floodFor + 10s);
        editor.join();
        flood.finish(state);
        Figures& figures = flood.figures;
        if (const auto arrived = flood.console.editArrived()) {
            figures.editMs = std::chrono::duration<double, std::milli>(*arrived - Clock::time_point(Clock::duration(editPosted.load()))).count();
        }
        state.counters["edit_ms"] = figures.editMs;
        state.counters["replies_per_s"] = static_cast<double>(figures.messages) / figures.seconds;
        state.counters["wire_MB"] = static_cast<double>(flood.console.bytesSent()) / 1e6;
        if (figures.editMs < 0) state.SkipWithError("the edit never arrived");
        results[std::string("replies/") + consumerName(static_cast<int>(state.range(0)))] = figures;
    }
}

BENCHMARK(BM_NestedBundleFlood)->ArgName("consumer")->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplyFlood)->ArgNames({"consumer", "seconds"})->Args({0, 20})->Args({1, 20})->Args({2, 20})->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

void printGoals() {
    std::printf("\nGoals (consumer 0 = OSCTCPClient with deliveries on a main queue, 1 = EosOSCClient, 2 = as 0 with "
                "20 us of main-thread work per reply; largest backlog where known). Run one case per process:\n"
                "memory the allocator kept from an earlier case hides growth.\n");
    for (const auto& [name, f] : results) {
        if (name.rfind("nested/", 0) == 0) {
            std::printf("  %-26s peak %.1f MB (idle %.1f MB, +%.1f MB, backlog %.1f MiB), %zu messages in %.1f s: "
                        "peak <= 150 MB %s\n",
                        name.c_str(), f.peakMB, f.idleMB, f.peakMB - f.idleMB, f.backlogMB, f.messages, f.seconds,
                        verdict(f.peakMB <= 150));
        } else {
            std::printf("  %-26s peak %.1f MB (idle %.1f MB, +%.1f MB, backlog %.1f MiB), %zu replies in %.1f s, "
                        "edit after %.0f ms: +100 MB %s, edit 1.5 s %s\n",
                        name.c_str(), f.peakMB, f.idleMB, f.peakMB - f.idleMB, f.backlogMB, f.messages, f.seconds,
                        f.editMs,
                        verdict(f.peakMB - f.idleMB <= 100), verdict(f.editMs >= 0 && f.editMs <= 1500));
        }
    }
}

}  // namespace
}  // namespace lanternwick

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    lanternwick::printGoals();
    return 0;
}
