// Save-to-console latency and idle CPU, with change notification off (the
// one-second poll alone, the baseline) and on, in one run: the real monitor
// and Eos client on their own main thread, against the console simulator on
// loopback.
//
// Latency: edits saved as editors save (written beside the file, renamed
// over it) at random intervals; each changes one marker's fade, so the
// console executes exactly one command per edit. Measured from just before
// the rename until the console has executed that command.
// Goals: 90th percentile <= 50 ms, maximum <= 150 ms.
//
// Idle CPU: the process's CPU time while an unchanged 1 MB file is watched,
// the two modes in four slices each, in the order off, on, on, off, ..., so
// that a steadily drifting machine load falls on both alike. Goal: notified /
// poll only no higher than 1; printed with the number of file reads, which
// must match, the watcher's notices, which must be none, and with how far
// the slices of one mode lie apart, which is the noise of the machine.
//
//   sync_latency_bench [--edits N] [--markers N] [--idle-seconds S] [--seed N]

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "monitor/LightingFileMonitor.h"
#include "soak/SoakConsole.h"
#include "soak/SoakShow.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using soak::ShowMarker;

struct Options {
    int edits = 20;
    int markers = 100;
    int idleSeconds = 60;
    unsigned seed = 1;
};

class CountingFileSystem final : public FileSystem {
public:
    bool fileExists(const std::filesystem::path& path) const override { return local_.fileExists(path); }
    Result<std::string, std::string> readFile(const std::filesystem::path& path) const override {
        ++reads;
        return local_.readFile(path);
    }
    mutable std::atomic<int> reads{0};

private:
    LocalFileSystem local_;
};

// The default watcher, counting what it reports.
FileWatcherFactory countingWatcher(std::shared_ptr<std::atomic<int>> notices) {
    return [watcher = inotifyFileWatcher(SerialQueue("tempolane.monitor")), notices](
               const std::filesystem::path& path, std::function<void()> changed) {
        return watcher(path, [notices, changed] {
            ++*notices;
            changed();
        });
    };
}

// One monitor with the default timer on a main queue run by a thread of its own.
class MonitoredShow {
public:
    MonitoredShow(const std::filesystem::path& file, std::uint16_t port, bool notified) {
        auto settings = std::make_shared<InMemorySettingsStore>();
        settings->setString("tempolaneFilePath", file.string());
        settings->setString("eosHost", "127.0.0.1");
        settings->setInteger("eosPort", port);
        settings->setBool("optSyncLabels", true);
        thread_ = std::thread([this] { queue_->run(); });
        onMain([&] {
            LightingFileMonitorDependencies dependencies;
            dependencies.mainQueue = queue_;
            dependencies.settings = settings;
            dependencies.fileSystem = files;
            dependencies.fileWatcher = notified ? countingWatcher(notices) : noFileWatcher();
            monitor_ = LightingFileMonitor::create(std::move(dependencies));
            monitor_->startMonitoring();
        });
    }
    ~MonitoredShow() {
        onMain([this] { monitor_.reset(); });
        queue_->stop();
        thread_.join();
    }
    MonitoredShow(const MonitoredShow&) = delete;
    MonitoredShow& operator=(const MonitoredShow&) = delete;

    const std::shared_ptr<CountingFileSystem> files = std::make_shared<CountingFileSystem>();
    const std::shared_ptr<std::atomic<int>> notices = std::make_shared<std::atomic<int>>(0);

private:
    void onMain(const std::function<void()>& task) {
        std::promise<void> done;
        queue_->async([&] {
            task();
            done.set_value();
        });
        done.get_future().wait();
    }

    std::shared_ptr<RunLoopMainQueue> queue_ = std::make_shared<RunLoopMainQueue>();
    std::shared_ptr<LightingFileMonitor> monitor_;
    std::thread thread_;
};

struct Folder {
    Folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lanternwick-latency-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    void save(std::string_view name, const std::string& text) const {
        writeFile(path / ".save.tmp", text);
        std::filesystem::rename(path / ".save.tmp", path / name);
    }
    static void writeFile(const std::filesystem::path& file, const std::string& text) {
        std::FILE* out = std::fopen(file.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
    std::filesystem::path path;
};

bool waitFor(const std::function<bool()>& condition, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(200us);
    }
    return true;
}

// Milliseconds from each save to its command's execution; empty on a failure.
std::vector<double> measureLatency(const Options& options, bool notified) {
    soak::SoakConsole console;
    const Folder folder;
    std::vector<ShowMarker> markers = soak::numberedShow(options.markers);
    folder.save("Lighting.xml", soak::showText(markers));
    const MonitoredShow show(folder.path / "Lighting.xml", console.port(), notified);
    // Connected, and whatever the start sent has been executed.
    std::this_thread::sleep_for(1s);
    std::size_t settled = 0;
    do {
        settled = console.executedCount();
        std::this_thread::sleep_for(500ms);
    } while (console.executedCount() != settled);

    std::mt19937 random(options.seed);
    std::uniform_int_distribution<int> interval(50, 600);
    std::uniform_int_distribution<int> pick(0, options.markers - 1);
    std::vector<double> latencies;
    for (int edit = 0; edit < options.edits; ++edit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(interval(random)));
        ShowMarker& marker = markers[static_cast<std::size_t>(pick(random))];
        marker.fade = std::to_string(std::stoi(marker.fade) % 9 + 1);
        const std::string text = soak::showText(markers);
        const std::size_t before = console.executedCount();
        Folder::writeFile(folder.path / ".save.tmp", text);
        const auto saved = Clock::now();
        std::filesystem::rename(folder.path / ".save.tmp", folder.path / "Lighting.xml");
        if (!waitFor([&] { return console.executedCount() > before; }, 5s)) return {};
        latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - saved).count());
    }
    return latencies;
}

double processCPUSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct IdleFigures {
    double cpuSeconds = 0;
    int reads = 0;
    int notices = 0;
};

struct IdleTotals {
    double cpuSeconds = 0;
    int reads = 0;
    int notices = 0;
    std::vector<double> slices;

    // The spread of the slices over their mean.
    double spread() const {
        const auto [low, high] = std::minmax_element(slices.begin(), slices.end());
        return cpuSeconds > 0 ? (*high - *low) * static_cast<double>(slices.size()) / cpuSeconds : 0;
    }
};

// The process's CPU over `seconds` while the monitor looks at an unchanged file.
IdleFigures measureIdle(const std::filesystem::path& file, std::uint16_t port, bool notified, int seconds) {
    const MonitoredShow show(file, port, notified);
    std::this_thread::sleep_for(1s);
    // Half way between two ticks, so that every window holds `seconds` polls.
    const int started = show.files->reads.load();
    waitFor([&] { return show.files->reads.load() != started; }, 2s);
    std::this_thread::sleep_for(500ms);
    const int readsBefore = show.files->reads.load();
    const int noticesBefore = show.notices->load();
    const double before = processCPUSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = processCPUSeconds() - before;
    return {cpu, show.files->reads.load() - readsBefore, show.notices->load() - noticesBefore};
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (flag == "--edits") options.edits = std::max(1, value);
        if (flag == "--markers") options.markers = std::max(1, value);
        if (flag == "--idle-seconds") options.idleSeconds = std::max(2, value);
        if (flag == "--seed") options.seed = static_cast<unsigned>(value);
    }
    return options;
}

int run(const Options& options) {
    std::printf("%d edits at random intervals of 50-600 ms, %d markers, saved by rename\n\n", options.edits,
                options.markers);
    std::printf("%-12s %10s %10s %10s %10s\n", "mode", "median ms", "p90 ms", "max ms", "min ms");
    bool ok = true;
    double p90Poll = 0;
    double p90Notified = 0;
    for (const bool notified : {false, true}) {
        const std::vector<double> latencies = measureLatency(options, notified);
        if (latencies.empty()) {
            std::printf("%-12s an edit did not reach the console within 5 s\n", notified ? "notified" : "poll only");
            ok = false;
            continue;
        }
        const double p90 = percentile(latencies, 0.9);
        (notified ? p90Notified : p90Poll) = p90;
        std::printf("%-12s %10.1f %10.1f %10.1f %10.1f\n", notified ? "notified" : "poll only",
                    percentile(latencies, 0.5), p90, percentile(latencies, 1.0), percentile(latencies, 0.0));
        if (notified) {
            const double max = percentile(latencies, 1.0);
            std::printf("\nnotified: p90 %.1f ms (goal <= 50, %s), max %.1f ms (goal <= 150, %s), p90 %.0fx faster\n",
                        p90, verdict(p90 <= 50), max, verdict(max <= 150), p90Notified > 0 ? p90Poll / p90Notified : 0);
        }
    }

    soak::SoakConsole console;
    const Folder folder;
    std::vector<ShowMarker> markers;
    std::string text;
    while (text.size() < 1024 * 1024) {
        markers.push_back(soak::numberedMarker(static_cast<int>(markers.size()) + 1));
        text = soak::showText(markers);
    }
    folder.save("Lighting.xml", text);
    constexpr int slices = 4;
    const int slice = std::max(1, options.idleSeconds / slices);
    IdleTotals totals[2];
    for (int round = 0; round < slices; ++round) {
        for (const bool second : {false, true}) {
            const bool notified = second != (round % 2 == 1);
            const IdleFigures idle = measureIdle(folder.path / "Lighting.xml", console.port(), notified, slice);
            totals[notified].cpuSeconds += idle.cpuSeconds;
            totals[notified].reads += idle.reads;
            totals[notified].notices += idle.notices;
            totals[notified].slices.push_back(idle.cpuSeconds);
        }
    }
    std::printf("\nIdle, unchanged %.2f MB file, %d s per mode in %d slices:\n",
                static_cast<double>(text.size()) / (1024.0 * 1024.0), slices * slice, slices);
    std::printf("%-12s %10s %10s %10s %10s\n", "mode", "CPU ms", "reads", "notices", "spread");
    for (const bool notified : {false, true}) {
        const IdleTotals& t = totals[notified];
        std::printf("%-12s %10.1f %10d %10d %9.0f%%\n", notified ? "notified" : "poll only", t.cpuSeconds * 1000,
                    t.reads, t.notices, t.spread() * 100);
    }
    const double ratio = totals[0].cpuSeconds > 0 ? totals[1].cpuSeconds / totals[0].cpuSeconds : 0;
    const double noise = std::max(totals[0].spread(), totals[1].spread());
    std::printf("notified / poll only: %.2f (goal <= 1, %s)\n", ratio,
                ratio <= 1.0 ? "met" : ratio <= 1.0 + noise ? "within the spread of the slices" : "MISSED");
    return ok ? 0 : 1;
}

}  // namespace
}  // namespace lanternwick

int main(int argc, char** argv) { return lanternwick::run(lanternwick::parseOptions(argc, argv)); }
