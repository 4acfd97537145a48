// What one tick costs when the marker file has not changed: the monitor's
// poll against the least any poll must do, reading the whole file and
// hashing it with SHA-256, on the same 1 MB file in the same run. Prints the
// ratio at the end (goal <= 1.3), on CPU time.
// And what a poll costs that deletes half of a 10,000-cue show (cue deletion
// on, "yes to all"), against one that edits one fade of it: every deleted
// cue is checked against the file again before its Delete goes out.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "eos/EosLink.h"
#include "monitor/LightingFileMonitor.h"
#include "support/RunLoopMainQueue.h"
#include "support/Uuid.h"

namespace lanternwick {
namespace {

class SilentLink final : public EosLink {
public:
    void configure(std::string_view, std::uint16_t, bool) override {}
    void connect() override {}
    void disconnect() override {}
    void sendAddress(std::string_view) override {}
    void sendCommandLine(std::string_view) override { ++lines; }
    void setCallbacks(EosLinkCallbacks) override {}
    std::uint64_t lines = 0;
};

const std::string showHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"5\" minor_vers=\"2\" "
    "bug_vers=\"0\">\n  <Markers>\n";

// About 1 MB of markers, shaped like a long show.
std::string showText() {
    std::string text = showHeader;
    for (int i = 0; text.size() < 1024 * 1024; ++i) {
        text += "    <Marker MarkerTypeName=\"Cue\" TrackName=\"Lights 1/ Main\" Position=\"" + std::to_string(i * 2.5) +
                "\" Label=\"Look " + std::to_string(i) + "\" Fade=\"2\" FadeOut=\"-1\" ManualCueID=\"" +
                std::to_string(i + 1) + "\"/>\n";
    }
    text += "  </Markers>\n</Tempolane>\n";
    return text;
}

struct BenchFile {
    BenchFile() {
        std::filesystem::create_directories(directory);
        std::ofstream(path, std::ios::binary) << showText();
    }
    ~BenchFile() {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("lanternwick-bench-" + Uuid::random().text());
    const std::filesystem::path path = directory / "Lighting.xml";
};

const BenchFile& benchFile() {
    static const BenchFile file;
    return file;
}

void BM_PlainReadAndSHA256(benchmark::State& state) {
    const auto& path = benchFile().path;
    std::vector<unsigned char> buffer(std::filesystem::file_size(path));
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        std::size_t length = 0;
        ssize_t got = 0;
        while ((got = ::read(fd, buffer.data() + length, buffer.size() - length)) > 0) {
            length += static_cast<std::size_t>(got);
        }
        ::close(fd);
        unsigned int digestLength = 0;
        EVP_Digest(buffer.data(), length, digest.data(), &digestLength, EVP_sha256(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * buffer.size()));
}

void BM_UnchangedFilePoll(benchmark::State& state) {
    auto settings = std::make_shared<InMemorySettingsStore>();
    settings->setString("tempolaneFilePath", benchFile().path.string());
    LightingFileMonitorDependencies dependencies;
    dependencies.mainQueue = std::make_shared<RunLoopMainQueue>();
    dependencies.settings = settings;
    dependencies.eosLink = std::make_shared<SilentLink>();
    auto monitor = LightingFileMonitor::create(std::move(dependencies));
    monitor->pollOnce();
    for (auto _ : state) {
        monitor->pollOnce();
    }
    if (monitor->events().size() != 1) {
        state.SkipWithError("the unchanged file produced an event");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(benchFile().path)));
}

std::string cueShowText(int markers, int edited) {
    // Without the full header the file is no show, and the poll sends nothing.
    std::string text = showHeader;
    for (int i = 0; i < markers; ++i) {
        text += "    <Marker MarkerTypeName=\"Cue\" TrackName=\"Lights 1/ Main\" Position=\"" +
                std::to_string(i * 2) + "\" Label=\"Look " + std::to_string(i) + "\" Fade=\"" +
                (i == edited ? "9" : "2") + "\" FadeOut=\"-1\" ManualCueID=\"" + std::to_string(i + 1) + "\"/>\n";
    }
    return text + "  </Markers>\n</Tempolane>\n";
}

// Polls the whole show, then (timed) the show with half its markers gone or
// with one fade edited.
void BM_PollAfterLargeChange(benchmark::State& state) {
    constexpr int markers = 10'000;
    const bool deleteHalf = state.range(0) == 1;
    const std::string whole = cueShowText(markers, -1);
    const std::string changed = deleteHalf ? cueShowText(markers / 2, -1) : cueShowText(markers, markers / 2);
    const std::filesystem::path path = benchFile().directory / "Cues.xml";
    std::ofstream(path, std::ios::binary) << whole;
    auto settings = std::make_shared<InMemorySettingsStore>();
    settings->setString("tempolaneFilePath", path.string());
    settings->setBool("optDeleteCues", true);
    LightingFileMonitorDependencies dependencies;
    dependencies.mainQueue = std::make_shared<RunLoopMainQueue>();
    dependencies.settings = settings;
    const auto link = std::make_shared<SilentLink>();
    dependencies.eosLink = link;
    auto monitor = LightingFileMonitor::create(std::move(dependencies));
    monitor->setCueDeletionPromptPolicy(CueDeletionPromptPolicy::autoYes);
    std::uint64_t timedLines = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(path, std::ios::binary) << whole;
        monitor->pollOnce();
        std::ofstream(path, std::ios::binary) << changed;
        const std::uint64_t before = link->lines;
        state.ResumeTiming();
        monitor->pollOnce();
        timedLines += link->lines - before;
    }
    // A poll that sends less measured something else (a file refused, say).
    const std::uint64_t expected = deleteHalf ? markers / 2 : 1;
    if (timedLines < expected * static_cast<std::uint64_t>(state.iterations())) {
        state.SkipWithError("the change sent fewer command lines than it should");
    }
    state.SetLabel(deleteHalf ? "5,000 cues deleted" : "one fade edited");
}

BENCHMARK(BM_PlainReadAndSHA256)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_UnchangedFilePoll)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_PollAfterLargeChange)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Keeps each benchmark's CPU time per iteration for the ratio.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                const std::string& args = run.run_name.args;
                cpuPerIteration[run.run_name.function_name + (args.empty() ? "" : "/" + args)] =
                    run.GetAdjustedCPUTime();
            }
        }
    }
    std::map<std::string, double> cpuPerIteration;
};

}  // namespace
}  // namespace lanternwick

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    lanternwick::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& times = reporter.cpuPerIteration;
    const auto baseline = times.find("BM_PlainReadAndSHA256");
    const auto poll = times.find("BM_UnchangedFilePoll");
    if (baseline != times.end() && poll != times.end() && baseline->second > 0) {
        const double ratio = poll->second / baseline->second;
        std::printf("Unchanged poll / plain read + SHA-256: %.2f (goal <= 1.30, %s)\n", ratio,
                    ratio <= 1.3 ? "met" : "MISSED");
    }
    const auto edit = times.find("BM_PollAfterLargeChange/0");
    const auto deletion = times.find("BM_PollAfterLargeChange/1");
    if (edit != times.end() && deletion != times.end() && edit->second > 0) {
        std::printf("Poll deleting 5,000 cues / poll editing one fade: %.2f\n", deletion->second / edit->second);
    }
    benchmark::Shutdown();
    return 0;
}
