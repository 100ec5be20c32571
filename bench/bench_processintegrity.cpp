// The agent's check of its own process at the 3-second tick (warm: the mappings seen before)
// and at the key button (cold: a new voucher), beside reading /proc/self/maps alone. The
// benchmark maps the same Qt libraries the agent does, and its own executable is not judged,
// as in a developer's build.

#include "platform/linux/selfcheck/processintegrity_linux.h"
#include "ratioreporter.h"

#include <QGuiApplication>
#include <array>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent::process_integrity;

namespace {

Surroundings developersBuild() {
    Surroundings surroundings;
    surroundings.judgesExecutable = false;
    return surroundings;
}

void readMaps(benchmark::State &state) {
    std::array<char, 16384> chunk{};
    for (auto _ : state) {
        const int file = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
        std::size_t total = 0;
        for (ssize_t length = 0; (length = read(file, chunk.data(), chunk.size())) > 0;) {
            total += std::size_t(length);
        }
        close(file);
        benchmark::DoNotOptimize(total);
    }
}

void warmCheck(benchmark::State &state) {
    ProcessVoucher voucher(developersBuild());
    if (!voucher.vouches()) {
        state.SkipWithError("this process cannot be vouched for");
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(voucher.vouches());
    }
}

void coldCheck(benchmark::State &state) {
    for (auto _ : state) {
        ProcessVoucher voucher(developersBuild());
        benchmark::DoNotOptimize(voucher.vouches());
    }
}

} // namespace

BENCHMARK(readMaps)->Unit(benchmark::kMicrosecond);
BENCHMARK(warmCheck)->Unit(benchmark::kMicrosecond);
BENCHMARK(coldCheck)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv) {
    // The platform plugin and its libraries, as the agent's window maps them.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication application(argc, argv);
    return Qolvi_Desktop_Agent::bench::runWithRatios(
        argc, argv, {{"warmCheck", "readMaps"}, {"coldCheck", "readMaps"}});
}
