#pragma once
// RatioReporter: the console output of Google Benchmark, followed by a table
// of ratios between benchmarks of the same run (a measurement against its
// baseline, both in CPU time or both in one counter such as the peak heap),
// each with the goal it is held to. Benchmarks
// are named by their registered names, without the iteration suffix. Owned by the benchmark's
// main; Google Benchmark calls it on the thread that runs the benchmarks.
// A ratio whose two benchmarks did not both run (filtered out, failed) is
// left out of the table.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace lanternwick::bench {

struct BenchmarkRatio {
    std::string measured;  // benchmark names
    std::string baseline;
    // Shown beside the figures; empty for none.
    std::string goal;
    // The measured value must stay below both to meet the goal.
    std::optional<double> maximumRatio;
    // In ms, or in the counter's unit.
    std::optional<double> maximumValue;
    // A counter both benchmarks report (as "peakMB"); empty for CPU time.
    std::string counter;
};

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only when standard output is a terminal.
    explicit RatioReporter(std::vector<BenchmarkRatio> ratios);

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    std::optional<double> value(const std::string& benchmark, const std::string& counter) const;

    std::vector<BenchmarkRatio> ratios_;
    // Per benchmark: CPU ms under "", then each counter under its name.
    std::map<std::string, std::map<std::string, double>> values_;
};

}  // namespace lanternwick::bench
