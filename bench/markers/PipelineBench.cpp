// What a poll does once the fingerprint of the marker file has moved: decode
// the bytes, analyse the text, parse both texts and diff them, build the
// event texts and the event, and synthesise the console command lines. Each
// stage is also measured on its own, and a single parse of the new text is
// the floor the whole is held against. A variant keeps the previous markers
// instead of parsing the previous text again.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "AllocationCounter.h"
#include "RatioReporter.h"
#include "ShowText.h"
#include "eos/CueDeletionPrompt.h"
#include "eos/CueSync.h"
#include "eos/EosLink.h"
#include "markers/LightingChangeEvent.h"
#include "markers/LightingMarker.h"
#include "markers/MarkerDiff.h"
#include "support/TextRules.h"

namespace lanternwick::bench {
namespace {

using EventKind = LightingChangeEvent::Kind;

// Counts the command lines instead of sending them: the OSC encoding and
// the socket are measured elsewhere.
class CountingLink : public EosLink {
public:
    void configure(std::string_view, std::uint16_t, bool) override {}
    void connect() override {}
    void disconnect() override {}
    void sendAddress(std::string_view address) override { bytes += address.size(); }
    void sendCommandLine(std::string_view text) override {
        ++lines;
        bytes += text.size();
    }
    void setCallbacks(EosLinkCallbacks) override {}

    std::size_t lines = 0;
    std::size_t bytes = 0;
};

class DecliningPrompt : public CueDeletionPrompt {
public:
    CueDeletionAnswer confirmCueDeletion(std::int64_t, std::string_view) override { return {}; }
};

CueSyncContext syncContext() {
    CueSyncContext context;
    context.optUpdateOnConnect = [] { return false; };
    context.optSyncLabels = [] { return true; };
    context.optDeleteCues = [] { return false; };
    context.policy.read = [] { return CueDeletionPromptPolicy::autoNo; };
    context.policy.write = [](CueDeletionPromptPolicy) {};
    context.prompt = std::make_shared<DecliningPrompt>();
    return context;
}

struct PipelineCase {
    std::size_t markerCount = 0;
    ShowShape shape = ShowShape::distinct;
    ShowEdit edit = ShowEdit::none;
    std::string previousText;
    std::string newBytes;

    std::string name(std::string_view what) const { return nameAt(what, markerCount); }

    std::string nameAt(std::string_view what, std::size_t count) const {
        return std::string(what) + "/" + std::to_string(count) + "/" + std::string(shapeName(shape)) + "/" +
               std::string(editName(edit));
    }
};

// What the monitor does on a modified poll: the previous text's markers are
// kept from the last poll (the same text always yields the same markers), so
// only the new text is parsed.
LightingChangeEvent modifiedEvent(const PipelineCase& c, const ParsedMarkers& kept, EosLink& link,
                                  const CueSyncContext& context) {
    const std::string text = decodeUTF8(c.newBytes);
    const XMLLikeAnalysis analysis = analyzeText(text, static_cast<std::int64_t>(c.newBytes.size()));
    const MarkerDiff diff = diffMarkerSnapshots(&kept, parseMarkers(text), EventKind::modified);
    LightingChangeEvent event{Uuid::random(),
                              std::chrono::system_clock::now(),
                              EventKind::modified,
                              eventSummary(EventKind::modified, analysis, diff.actions),
                              eventDetails(analysis, c.previousText, diff),
                              diff.actions};
    applyDiffToEos(false, diff, link, context);
    return event;
}

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

template <typename Work>
void add(const PipelineCase& c, std::string_view what, Work work) {
    benchmark::RegisterBenchmark(c.name(what).c_str(), [work](benchmark::State& state) {
        measure(state, work);
    })->Unit(benchmark::kMillisecond);
}

void addGoals(const PipelineCase& c, std::vector<BenchmarkRatio>& ratios) {
    const bool everyMarker = c.edit == ShowEdit::everyMarkerChanged;
    const auto pipelineGoal = [&](std::string goal, std::optional<double> ratio, std::optional<double> ms) {
        ratios.push_back({c.name("pipeline"), c.name("parse"), std::move(goal), ratio, ms});
    };
    if (c.markerCount == 5000 && c.shape == ShowShape::distinct && !everyMarker) {
        pipelineGoal("< 16 ms and <= 2x", 2.0, 16.0);
    } else if (c.markerCount == 10000) {
        everyMarker ? pipelineGoal("< 1000 ms", std::nullopt, 1000.0) : pipelineGoal("<= 2x", 2.0, std::nullopt);
    } else {
        pipelineGoal("", std::nullopt, std::nullopt);
    }
    ratios.push_back({c.name("stage.diff"), c.name("parse"), "", std::nullopt, std::nullopt});
    if (c.markerCount == 10000) {
        // Linear: twice the markers, about twice the heap (a square would be four times).
        ratios.push_back({c.name("stage.diff"), c.nameAt("stage.diff", 5000), "<= 50 MB, <= 2.5x from 5,000", 2.5,
                          50.0, "peakMB"});
    }
}

void registerCase(const PipelineCase& c, const CueSyncContext& context, std::vector<BenchmarkRatio>& ratios) {
    add(c, "parse", [&c] { return parseMarkers(c.newBytes); });
    const auto kept = std::make_shared<ParsedMarkers>(parseMarkers(c.previousText));
    add(c, "pipeline", [&c, &context, kept] {
        CountingLink link;
        return modifiedEvent(c, *kept, link, context);
    });
    add(c, "stage.diff", [&c, kept] {
        return diffMarkerSnapshots(kept.get(), parseMarkers(c.newBytes), EventKind::modified);
    });
    addGoals(c, ratios);
    // The stages alone for the long show only; the pipeline covers them in every shape.
    if (c.shape != ShowShape::distinct) return;
    add(c, "stage.decode", [&c] { return decodeUTF8(c.newBytes); });
    add(c, "stage.analysis", [&c] { return analyzeText(c.newBytes, static_cast<std::int64_t>(c.newBytes.size())); });
    const auto analysis = std::make_shared<XMLLikeAnalysis>(
        analyzeText(c.newBytes, static_cast<std::int64_t>(c.newBytes.size())));
    const auto diff = std::make_shared<MarkerDiff>(diffMarkers(c.previousText, c.newBytes, EventKind::modified));
    add(c, "stage.texts", [&c, analysis, diff] {
        return eventSummary(EventKind::modified, *analysis, diff->actions) +
               eventDetails(*analysis, c.previousText, *diff);
    });
    add(c, "stage.synthesis", [diff, &context] {
        CountingLink link;
        applyDiffToEos(false, *diff, link, context);
        return link.lines;
    });

    for (const std::string_view stage : {"stage.decode", "stage.analysis", "stage.texts", "stage.synthesis"}) {
        ratios.push_back({c.name(stage), c.name("parse"), "", std::nullopt, std::nullopt});
    }
}

}  // namespace
}  // namespace lanternwick::bench

int main(int argc, char** argv) {
    using namespace lanternwick::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const lanternwick::CueSyncContext context = syncContext();
    std::vector<PipelineCase> cases;
    const auto addCases = [&cases](ShowShape shape, const std::vector<std::size_t>& sizes) {
        for (const std::size_t size : sizes) {
            const std::string previous = showText(size, ShowEdit::none, shape);
            for (const ShowEdit edit : {ShowEdit::oneEdit, ShowEdit::insertAtTop, ShowEdit::everyMarkerChanged}) {
                cases.push_back({size, shape, edit, previous, showText(size, edit, shape)});
            }
        }
    };
    addCases(ShowShape::distinct, {100, 1000, 5000, 10000});
    for (const ShowShape shape : sharingShapes) {
        addCases(shape, {1000, 5000, 10000});
    }
    std::vector<BenchmarkRatio> ratios;
    for (const PipelineCase& c : cases) registerCase(c, context, ratios);

    RatioReporter reporter(std::move(ratios));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
