// The marker diff: the plain all-pairs matching against the production
// matching on the same parsed lists, the production diff, and a single parse
// of the new text as the floor, with the peak heap of each.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "AllocationCounter.h"
#include "RatioReporter.h"
#include "ShowText.h"
#include "markers/FastMarkerMatch.h"
#include "markers/LightingMarker.h"
#include "markers/MarkerDiff.h"

namespace lanternwick::bench {
namespace {

struct DiffCase {
    std::size_t markerCount = 0;
    ShowShape shape = ShowShape::distinct;
    ShowEdit edit = ShowEdit::none;
    std::string previousText;
    std::string newText;
    std::vector<LightingMarker> oldMarkers;
    std::vector<LightingMarker> newMarkers;

    std::string name(std::string_view what) const {
        return std::string(what) + "/" + std::to_string(markerCount) + "/" + std::string(shapeName(shape)) + "/" +
               std::string(editName(edit));
    }
};

// Runs `work` once per iteration and reports the largest heap growth seen
// during one call, in MB.
template <typename Work>
void measure(benchmark::State& state, Work work) {
    std::int64_t peak = 0;
    for (auto _ : state) {
        const std::int64_t start = resetPeak();
        benchmark::DoNotOptimize(work());
        peak = std::max(peak, peakBytes() - start);
    }
    state.counters["peakMB"] = static_cast<double>(peak) / (1024.0 * 1024.0);
}

void registerCase(const DiffCase& c, std::vector<BenchmarkRatio>& ratios) {
    benchmark::RegisterBenchmark(c.name("parse").c_str(), [&c](benchmark::State& state) {
        measure(state, [&] { return parseMarkers(c.newText); });
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(c.name("diff").c_str(), [&c](benchmark::State& state) {
        measure(state, [&] { return diffMarkers(c.previousText, c.newText, LightingChangeEvent::Kind::modified); });
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(c.name("diffParsed").c_str(), [&c](benchmark::State& state) {
        measure(state, [&] { return diffParsedMarkers(c.oldMarkers, c.newMarkers); });
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(c.name("match").c_str(), [&c](benchmark::State& state) {
        measure(state, [&] { return matchMarkersFast(c.oldMarkers, c.newMarkers); });
    })->Unit(benchmark::kMillisecond);
    ratios.push_back({c.name("diff"), c.name("parse"), "", std::nullopt, std::nullopt});
    // Seconds and gigabytes per call from 5,000 markers on: the long show
    // keeps those figures, the other shapes stop at 1,000.
    if (c.shape != ShowShape::distinct && c.markerCount > 1000) return;
    auto* reference = benchmark::RegisterBenchmark(c.name("matchReference").c_str(), [&c](benchmark::State& state) {
        measure(state, [&] { return matchMarkersAllPairs(c.oldMarkers, c.newMarkers); });
    });
    reference->Unit(benchmark::kMillisecond);
    // Seconds and gigabytes per call at these sizes: one call says enough.
    if (c.markerCount >= 5000) reference->Iterations(1);
    ratios.push_back({c.name("matchReference"), c.name("match"), "", std::nullopt, std::nullopt});
    ratios.push_back({c.name("matchReference"), c.name("diffParsed"), "", std::nullopt, std::nullopt});
}

void addCases(std::vector<DiffCase>& cases, ShowShape shape, const std::vector<std::size_t>& sizes,
              const std::vector<ShowEdit>& edits) {
    for (const std::size_t size : sizes) {
        const std::string previous = showText(size, ShowEdit::none, shape);
        for (const ShowEdit edit : edits) {
            DiffCase c{size, shape, edit, previous, showText(size, edit, shape), {}, {}};
            c.oldMarkers = lanternwick::parseMarkers(c.previousText).value();
            c.newMarkers = lanternwick::parseMarkers(c.newText).value();
            cases.push_back(std::move(c));
        }
    }
}

}  // namespace
}  // namespace lanternwick::bench

int main(int argc, char** argv) {
    using namespace lanternwick::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    // Cases stay alive until the benchmarks have run: they hold the inputs.
    // Registration keeps references to them, so they are all made first.
    std::vector<DiffCase> cases;
    addCases(cases, ShowShape::distinct, {100, 1000, 5000, 10000},
             {ShowEdit::oneEdit, ShowEdit::insertAtTop, ShowEdit::everyMarkerChanged, ShowEdit::everyMarkerReplaced});
    for (const ShowShape shape : sharingShapes) {
        addCases(cases, shape, {1000, 5000, 10000},
                 {ShowEdit::oneEdit, ShowEdit::insertAtTop, ShowEdit::everyMarkerChanged});
    }
    std::vector<BenchmarkRatio> ratios;
    for (const DiffCase& c : cases) registerCase(c, ratios);

    RatioReporter reporter(std::move(ratios));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
