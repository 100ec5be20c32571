#include "ratioreporter.h"

#include <cstdio>

namespace Qolvi_Desktop_Agent::bench {

void RatioReporter::ReportRuns(const std::vector<Run> &runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
        // With repetitions, the median stands for the benchmark; without, its only run.
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.run_type != Run::RT_Iteration && !median) {
            continue;
        }
        const double time = m_cpuTime ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
        m_times[run.run_name.function_name] = time;
    }
}

void RatioReporter::Finalize() {
    ConsoleReporter::Finalize();
    for (const auto &[measured, baseline] : m_pairs) {
        const auto top = m_times.find(measured);
        const auto bottom = m_times.find(baseline);
        if (top == m_times.end() || bottom == m_times.end() || bottom->second <= 0) {
            continue;
        }
        std::printf("ratio %s / %s = %.2f\n", measured.c_str(), baseline.c_str(),
                    top->second / bottom->second);
    }
}

int runWithRatios(int argc, char **argv, std::vector<RatioReporter::Pair> pairs, bool cpuTime) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter(std::move(pairs), cpuTime);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace Qolvi_Desktop_Agent::bench
