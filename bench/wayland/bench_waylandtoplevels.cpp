// The native Wayland window source on the compositor of WAYLAND_DISPLAY, once it lists
// QOLVI_BENCH_WINDOWS windows (default 50): its warm read at the tick, with the list unchanged,
// and the backend's warm scan with it (the user's processes and the windows), each beside a bare
// listing of /proc plus one round trip to the same compositor on a connection of the
// benchmark's own. Also prints the resident memory that connecting the source added.

#include "platform/linux/scanner/applicationscanner.h"
#include "platform/linux/wayland/compositor/compositorwindows.h"
#include "ratioreporter.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <wayland-client.h>

using namespace Qolvi_Desktop_Agent::linux_backend::wayland;

namespace {

std::unique_ptr<CompositorWindows> g_source;

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return 0;
}

void BM_WarmRead(benchmark::State &state) {
    for (auto _ : state) {
        g_source->refresh();
        benchmark::DoNotOptimize(g_source->toplevels().data());
    }
    state.counters["windows"] = static_cast<double>(g_source->toplevels().size());
}

void BM_ProcListingAndRoundTrip(benchmark::State &state) {
    wl_display *display = wl_display_connect(nullptr);
    if (display == nullptr) {
        state.SkipWithError("no Wayland display");
        return;
    }
    for (auto _ : state) {
        DIR *proc = ::opendir("/proc");
        std::size_t entries = 0;
        while (::readdir(proc) != nullptr) {
            ++entries;
        }
        ::closedir(proc);
        benchmark::DoNotOptimize(entries);
        wl_display_roundtrip(display);
    }
    wl_display_disconnect(display);
}

void BM_WarmScan(benchmark::State &state) {
    using Qolvi_Desktop_Agent::linux_backend::ApplicationScanner;
    using Qolvi_Desktop_Agent::linux_backend::ScannerSources;
    ApplicationScanner scanner(ScannerSources::fromEnvironment());
    benchmark::DoNotOptimize(scanner.scan());
    for (auto _ : state) {
        benchmark::DoNotOptimize(scanner.scan());
    }
}

BENCHMARK(BM_WarmRead);
BENCHMARK(BM_WarmScan);
BENCHMARK(BM_ProcListingAndRoundTrip);

} // namespace

int main(int argc, char **argv) {
    const char *wanted = std::getenv("QOLVI_BENCH_WINDOWS");
    const std::size_t windows = wanted != nullptr ? std::strtoul(wanted, nullptr, 10) : 50;
    const long before = residentKilobytes();
    g_source = CompositorWindows::open(CompositorWindows::optionsFromEnvironment());
    if (!g_source) {
        std::fprintf(stderr,
                     "The compositor of WAYLAND_DISPLAY lists no windows to other clients.\n");
        return 1;
    }
    // The windows are made by another process while this one connects.
    while (g_source->connected() && g_source->toplevels().size() < windows) {
        pollfd events{g_source->fd(), POLLIN, 0};
        if (::poll(&events, 1, 10000) <= 0) {
            std::fprintf(stderr, "Only %zu of %zu windows appeared.\n",
                         g_source->toplevels().size(), windows);
            return 1;
        }
        g_source->refresh();
    }
    std::printf("Resident memory added by the connected source, %zu windows: %ld kB\n",
                g_source->toplevels().size(), residentKilobytes() - before);
    return Qolvi_Desktop_Agent::bench::runWithRatios(
        argc, argv,
        {{"BM_WarmRead", "BM_ProcListingAndRoundTrip"},
         {"BM_WarmScan", "BM_ProcListingAndRoundTrip"}});
}
