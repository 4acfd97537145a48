#pragma once
// RatioReporter: the console output of Google Benchmark, followed by a table
// of ratios between benchmarks of the same run (a measurement against its
// baseline, both in CPU time), each with the goal it is held to. Benchmarks
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
    // The measured time must stay below both to meet the goal.
    std::optional<double> maximumRatio;
    std::optional<double> maximumMilliseconds;
};

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only when standard output is a terminal.
    explicit RatioReporter(std::vector<BenchmarkRatio> ratios);

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    std::vector<BenchmarkRatio> ratios_;
    std::map<std::string, double> milliseconds_;
};

}  // namespace lanternwick::bench
