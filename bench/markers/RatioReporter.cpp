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
        // With repetitions, the median stands for the benchmark: on a shared
        // machine a few slow repetitions would drag the mean.
        if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
        // CPU time: the programs are single-threaded, and on a shared machine
        // the wall clock also counts the time other processes take.
        auto& values = values_[run.run_name.function_name];
        values[""] = toMilliseconds(run.GetAdjustedCPUTime(), run.time_unit);
        for (const auto& [name, counter] : run.counters) values[name] = counter.value;
    }
}

void RatioReporter::Finalize() {
    std::ostream& out = GetOutputStream();
    bool printedHeader = false;
    for (const BenchmarkRatio& ratio : ratios_) {
        const std::optional<double> measured = value(ratio.measured, ratio.counter);
        const std::optional<double> baseline = value(ratio.baseline, ratio.counter);
        if (!measured || !baseline || *baseline <= 0) continue;
        if (!printedHeader) {
            out << "\nRatios against the baseline measured in this run (CPU time unless named)\n";
            printedHeader = true;
        }
        const double quotient = *measured / *baseline;
        const bool met = (!ratio.maximumRatio || quotient <= *ratio.maximumRatio) &&
                         (!ratio.maximumValue || *measured <= *ratio.maximumValue);
        const std::string unit = ratio.counter.empty() ? " ms" : " " + ratio.counter;
        out << ratio.measured << " / " << ratio.baseline << ": " << formatted("%.3f", *measured) << unit << " / "
            << formatted("%.3f", *baseline) << unit << " = " << formatted("%.2f", quotient) << "x";
        if (!ratio.goal.empty()) out << "  [goal " << ratio.goal << ": " << (met ? "met" : "MISSED") << "]";
        out << '\n';
    }
    out.flush();
}

std::optional<double> RatioReporter::value(const std::string& benchmark, const std::string& counter) const {
    const auto values = values_.find(benchmark);
    if (values == values_.end()) return std::nullopt;
    const auto found = values->second.find(counter);
    if (found == values->second.end()) return std::nullopt;
    return found->second;
}

}  // namespace lanternwick::bench
