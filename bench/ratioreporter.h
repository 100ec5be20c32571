#pragma once

#include <benchmark/benchmark.h>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Qolvi_Desktop_Agent::bench {

// The console report, then one line per pair of benchmarks run side by side: how many times
// the first took the second's time. Shared machines are noisy; ratios from one run are not.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    using Pair = std::pair<std::string, std::string>;

    explicit RatioReporter(std::vector<Pair> pairs, bool cpuTime = false)
        : m_pairs(std::move(pairs))
        , m_cpuTime(cpuTime) {}

    void ReportRuns(const std::vector<Run> &runs) override;
    void Finalize() override;

private:
    std::vector<Pair> m_pairs;
    bool m_cpuTime;
    std::map<std::string, double> m_times;
};

// Runs the benchmarks selected on the command line and prints the ratios of the given pairs.
int runWithRatios(int argc, char **argv, std::vector<RatioReporter::Pair> pairs,
                  bool cpuTime = false);

} // namespace Qolvi_Desktop_Agent::bench
