// The resident memory of a long session, once the logs are full.
//
// saves: 300 saves of a one-marker show whose 1 MB label alternates between
// two texts, with label sync on, each save written beside the file and
// renamed over it and polled at once; every label line goes to a link that
// reports it sent, as a connected console would, so the event log, the
// outgoing log and the outcome log all fill. Goals: at most 150 MB at the
// end, and flat over the last 100 saves (the size after save 300 against the
// size after save 200, the baseline, at most 1.05).
//
// replies: 100 cue replies of a million Impulse tags each (1 MB on the wire),
// decoded from their bytes one at a time and handed to the real Eos client,
// which logs them through the monitor. Goal: at most 150 MB at the end; the
// baseline is the size before the first reply.
//
// Run one case per process: memory the allocator kept from one case hides
// the other's growth.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "eos/EosLink.h"
#include "eos/EosOSCClient.h"
#include "monitor/LightingFileMonitor.h"
#include "osc/OSCMessage.h"
#include "soak/SendingLink.h"
#include "support/RunLoopMainQueue.h"
#include "support/Uuid.h"

namespace lanternwick {
namespace {

// A field of /proc/self/status ("VmRSS", "VmHWM") in MB.
double statusMB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            std::istringstream values(line.substr(field.size() + 1));
            double kilobytes = 0;
            values >> kilobytes;
            return kilobytes / 1024.0;
        }
    }
    return 0;
}

std::string showWithLabel(const std::string& label) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"5\" minor_vers=\"2\" "
           "bug_vers=\"0\">\n  <Marker MarkerTypeName=\"Cue\" TrackName=\"Lights 1/ Main\" Position=\"10\" Label=\"" +
           label + "\" Fade=\"2\" FadeOut=\"-1\" ManualCueID=\"1\"/>\n</Tempolane>\n";
}

struct Figures {
    double baselineMB = 0;
    double endMB = 0;
    double peakMB = 0;
    std::size_t logged = 0;
    bool saves = false;
};

Figures figures;

void BM_LongLabelSaves(benchmark::State& state) {
    const auto folder = std::filesystem::temp_directory_path() / ("lanternwick-memory-" + Uuid::random().text());
    std::filesystem::create_directories(folder);
    const auto path = folder / "Lighting.xml";
    const std::string texts[] = {showWithLabel(std::string(1 << 20, 'a')), showWithLabel(std::string(1 << 20, 'b'))};
    auto settings = std::make_shared<InMemorySettingsStore>();
    settings->setString("tempolaneFilePath", path.string());
    settings->setBool("optSyncLabels", true);
    const auto link = std::make_shared<soak::SendingLink>();
    LightingFileMonitorDependencies dependencies;
    dependencies.mainQueue = std::make_shared<RunLoopMainQueue>();
    dependencies.settings = settings;
    dependencies.eosLink = link;
    auto monitor = LightingFileMonitor::create(std::move(dependencies));
    for (auto _ : state) {
        for (int save = 1; save <= 300; ++save) {
            {
                std::ofstream(folder / "Lighting.xml.new", std::ios::binary) << texts[save % 2];
            }
            std::filesystem::rename(folder / "Lighting.xml.new", path);
            monitor->pollOnce();
            if (save == 200) {
                figures.baselineMB = statusMB("VmRSS");
                figures.saves = true;
            }
        }
    }
    figures.endMB = statusMB("VmRSS");
    figures.peakMB = statusMB("VmHWM");
    figures.logged = monitor->events().size();
    if (link->lines < 299) state.SkipWithError("the label changes did not all reach the console");
    std::filesystem::remove_all(folder);
}

void BM_ImpulseReplies(benchmark::State& state) {
    auto queue = std::make_shared<RunLoopMainQueue>();
    const auto client = EosOSCClient::create(queue);
    LightingFileMonitorDependencies dependencies;
    dependencies.mainQueue = queue;
    dependencies.eosLink = client;
    auto monitor = LightingFileMonitor::create(std::move(dependencies));
    const auto bytes =
        OSCMessage("/eos/out/get/cue/1/5", std::vector<OSCValue>(1'000'000, OSCValue(OSCImpulseValue{}))).rawData();
    if (!bytes) {
        state.SkipWithError("the reply did not encode");
        return;
    }
    figures.baselineMB = statusMB("VmRSS");
    for (auto _ : state) {
        for (int reply = 0; reply < 100; ++reply) {
            const auto message = OSCMessage::decode(OSCByteView(*bytes));
            if (!message) {
                state.SkipWithError("the reply did not decode");
                return;
            }
            client->handleIncomingMessage(*message);
        }
    }
    figures.endMB = statusMB("VmRSS");
    figures.peakMB = statusMB("VmHWM");
    figures.logged = monitor->incomingOSCMessages().size();
}

BENCHMARK(BM_LongLabelSaves)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImpulseReplies)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lanternwick

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::size_t ran = benchmark::RunSpecifiedBenchmarks();
    using lanternwick::figures;
    if (ran == 1) {
        std::printf("resident MB: baseline %.1f, end %.1f, peak %.1f; %zu entries logged\n", figures.baselineMB,
                    figures.endMB, figures.peakMB, figures.logged);
        std::printf("end <= 150 MB: %s\n", figures.endMB <= 150 ? "met" : "MISSED");
        if (figures.saves) {
            const double ratio = figures.endMB / figures.baselineMB;
            std::printf("after save 300 / after save 200: %.3f (goal <= 1.05, %s)\n", ratio,
                        ratio <= 1.05 ? "met" : "MISSED");
        }
    } else {
        std::printf("run one case per process (--benchmark_filter=Saves or =Replies) for the figures\n");
    }
    benchmark::Shutdown();
    return 0;
}
