// What confirmed delivery costs, each against a baseline in the same run:
// - a burst of 10,000 command lines to the console simulator on loopback,
//   until the console's answer has confirmed every one, against the same
//   burst with pings off, until the console has run every one;
// - a connected, idle session (the monitor polling a 200-marker file every
//   second, the console link open) with pings against pings off: the
//   process's CPU time over the same window;
// - a silent link (a blackhole queue on the loopback of a network namespace
//   of the program's own; only as root): from the blackhole to the link
//   leaving "connected".
// Plain program: the cases run for seconds each, not for many iterations.
//   confirmed_delivery_bench [idle window in seconds, default 10]

#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "eos/EosOSCClient.h"
#include "monitor/LightingFileMonitor.h"
#include "monitor/SettingsStore.h"
#include "soak/SoakConsole.h"
#include "soak/SoakShow.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

constexpr std::size_t burstLines = 10'000;

double processCPUSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Link {
    explicit Link(std::uint16_t port, bool pings) {
        client->setConfirmationPings(pings);
        client->setCallbacks({.onOutcome = [this](const SyncOutcome& o) {
            if (const auto* c = std::get_if<DeliveryConfirmed>(&o.detail)) confirmed += c->lines;
        }});
        client->configure("127.0.0.1", port, false);
        client->connect();
        if (!queue->runUntil([&] { return client->isConnected(); }, 10s)) {
            std::fprintf(stderr, "no connection to the simulator\n");
            std::exit(1);
        }
    }
    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>();
    std::shared_ptr<EosOSCClient> client = EosOSCClient::create(queue);
    std::size_t confirmed = 0;
};

double burstSeconds(bool pings) {
    soak::SoakConsole console;
    Link link(console.port(), pings);
    link.queue->runFor(200ms);
    const std::size_t before = console.executedCount();
    const std::size_t confirmedBefore = link.confirmed;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < burstLines; ++i) {
        link.client->sendCommandLine("$ Cue 1 / " + std::to_string(i % 500 + 1) + " Time " + std::to_string(i % 9 + 1) +
                                     " #");
    }
    const bool done = link.queue->runUntil(
        [&] {
            return pings ? link.confirmed - confirmedBefore >= burstLines
                         : console.executedCount() - before >= burstLines;
        },
        120s);
    if (!done) std::fprintf(stderr, "burst not finished (pings %s)\n", pings ? "on" : "off");
    return Seconds(std::chrono::steady_clock::now() - start).count();
}

double idleCPUSeconds(bool pings, std::chrono::seconds window) {
    soak::SoakConsole console;
    const auto folder = std::filesystem::temp_directory_path() / ("lanternwick-idle-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto file = folder / "Lighting.xml";
    std::ofstream(file, std::ios::binary) << soak::showText(soak::numberedShow(200));
    auto queue = std::make_shared<RunLoopMainQueue>();
    auto client = EosOSCClient::create(queue);
    client->setConfirmationPings(pings);
    auto settings = std::make_shared<InMemorySettingsStore>();
    settings->setString("tempolaneFilePath", file.string());
    settings->setString("eosHost", "127.0.0.1");
    settings->setInteger("eosPort", console.port());
    settings->setBool("optUpdateOnConnect", true);
    LightingFileMonitorDependencies dependencies;
    dependencies.mainQueue = queue;
    dependencies.settings = settings;
    dependencies.eosLink = client;
    auto monitor = LightingFileMonitor::create(std::move(dependencies));
    monitor->startMonitoring();
    queue->runUntil([&] { return client->isConnected() && client->unconfirmedLineCount() == 0; }, 10s);
    queue->runFor(2s);
    const double before = processCPUSeconds();
    queue->runFor(window);
    const double used = processCPUSeconds() - before;
    monitor.reset();
    std::filesystem::remove_all(folder);
    return used;
}

double silentLinkSeconds() {
    soak::SoakConsole console;
    Link link(console.port(), true);
    link.queue->runFor(1500ms);
    const auto start = std::chrono::steady_clock::now();
    if (std::system("tc qdisc add dev lo root blackhole") != 0) return -1;
    link.queue->runUntil([&] { return !link.client->isConnected(); }, 30s);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start).count();
    if (std::system("tc qdisc del dev lo root") != 0) std::fprintf(stderr, "the blackhole could not be removed\n");
    return seconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace
}  // namespace lanternwick

int main(int argc, char** argv) {
    using namespace lanternwick;
    const std::chrono::seconds window(argc > 1 ? std::max(1, std::atoi(argv[1])) : 10);
    // Before any thread starts, so that the whole program is inside.
    const bool ownNetwork = ::unshare(CLONE_NEWNET) == 0 && std::system("ip link set lo up") == 0;

    std::vector<double> off;
    std::vector<double> on;
    for (int round = 0; round < 3; ++round) {
        off.push_back(burstSeconds(false));
        on.push_back(burstSeconds(true));
    }
    const double burstOff = median(off);
    const double burstOn = median(on);
    std::printf("burst of %zu lines: pings off %.3f s (all run), pings on %.3f s (all confirmed): %.2fx (goal <= 1.2x)\n",
                burstLines, burstOff, burstOn, burstOn / burstOff);

    const double idleOff = idleCPUSeconds(false, window);
    const double idleOn = idleCPUSeconds(true, window);
    std::printf("idle connected session, %lld s: CPU pings off %.3f s, pings on %.3f s: %.2fx (goal <= 1.1x)\n",
                static_cast<long long>(window.count()), idleOff, idleOn, idleOn / idleOff);

    if (!ownNetwork) {
        std::printf("silent link: skipped (no network namespace of our own; run as root)\n");
        return 0;
    }
    std::vector<double> silent;
    for (int round = 0; round < 3; ++round) silent.push_back(silentLinkSeconds());
    std::printf("silent link to leaving connected: median %.2f s, worst %.2f s (goal <= 6 s)\n", median(silent),
                *std::max_element(silent.begin(), silent.end()));
    return 0;
}
