#include "RatioReporter.h"

#include <unistd.h>

#include <cstdio>
#include <ostream>

namespace lanternwick::bench {
namespace {

double toMilliseconds(double value, benchmark::TimeUnit unit) {
    switch (unit) {
        case benchmark::kNanosecond: return value / 1e6;
        case benchmark::kMicrosecond: return value / 1e3;
        case benchmark::kMillisecond: return value;
        case benchmark::kSecond: return value * 1e3;
    }
    return value;
}

std::string formatted(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

}  // namespace

RatioReporter::RatioReporter(std::vector<BenchmarkRatio> ratios)
    : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_ColorTabular : OO_Tabular), ratios_(std::move(ratios)) {}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.error_occurred) continue;
        // With repetitions, the mean stands for the benchmark.
        if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "mean") continue;
        // CPU time: the programs are single-threaded, and on a shared machine
        // the wall clock also counts the time other processes take.
        milliseconds_[run.run_name.function_name] = toMilliseconds(run.GetAdjustedCPUTime(), run.time_unit);
    }
}

void RatioReporter::Finalize() {
    std::ostream& out = GetOutputStream();
    bool printedHeader = false;
    for (const BenchmarkRatio& ratio : ratios_) {
        const auto measured = milliseconds_.find(ratio.measured);
        const auto baseline = milliseconds_.find(ratio.baseline);
        if (measured == milliseconds_.end() || baseline == milliseconds_.end() || baseline->second <= 0) continue;
        if (!printedHeader) {
            out << "\nRatios against the baseline measured in this run (CPU time)\n";
            printedHeader = true;
        }
        const double value = measured->second / baseline->second;
        const bool met = (!ratio.maximumRatio || value <= *ratio.maximumRatio) &&
                         (!ratio.maximumMilliseconds || measured->second <= *ratio.maximumMilliseconds);
        out << ratio.measured << " / " << ratio.baseline << ": " << formatted("%.3f", measured->second) << " ms / "
            << formatted("%.3f", baseline->second) << " ms = " << formatted("%.2f", value) << "x";
        if (!ratio.goal.empty()) out << "  [goal " << ratio.goal << ": " << (met ? "met" : "MISSED") << "]";
        out << '\n';
    }
    out.flush();
}

}  // namespace lanternwick::bench
