// One scan of the running applications over synthetic /proc trees: cold (a new scanner reads
// every process) and warm (the 3-second tick of a running agent, where nothing changed).

#include "fakeproctree.h"
#include "platform/linux/scanner/applicationscanner.h"

#include <benchmark/benchmark.h>
#include <fstream>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent::linux_backend;
using namespace Qolvi_Desktop_Agent::testing;
namespace fs = std::filesystem;

namespace {

// A tree of `count` processes: a tenth in application units, a twentieth in snaps, a fifth
// started from desktop entries (half of them children of another), the rest without an
// identifier, as shells, daemons and helpers are.
class SyntheticDesktop {
public:
    explicit SyntheticDesktop(int count)
        : m_base(fs::temp_directory_path() /
                 ("qolvi-bench-" + std::to_string(::getpid()) + "-" + std::to_string(count)))
        , m_proc(m_base / "proc") {
        const fs::path bin = m_base / "bin";
        fs::create_directories(bin);
        for (int app = 0; app < 50; ++app) {
            const std::string name = "tool" + std::to_string(app);
            std::ofstream(bin / name) << "#!/bin/sh\n";
            fs::permissions(bin / name, fs::perms::owner_all);
            writeDesktopEntry(m_base / "data",
                              "org.example.Tool" + std::to_string(app) + ".desktop",
                              "[Desktop Entry]\nType=Application\nExec=" + name + " %U\n");
        }
        const std::string apps = "/user.slice/user-1000.slice/user@1000.service/app.slice/";
        for (int i = 0; i < count; ++i) {
            FakeProcTree::Process process;
            process.pid = 1000 + i;
            process.startTime = static_cast<unsigned long long>(i * 7 % 9973);
            switch (i % 20) {
            case 0:
            case 1:
                process.cgroup = apps + "app-gnome-org.example.App" + std::to_string(i % 97) + "-" +
                                 std::to_string(i) + ".scope";
                break;
            case 2:
                process.cgroup = apps + "snap.app" + std::to_string(i % 13) +
                                 ".run-0a1b2c3d-0000-1111-2222-" + std::to_string(i) + ".scope";
                break;
            case 3:
            case 4:
            case 5:
            case 6:
                process.executable = (bin / ("tool" + std::to_string(i % 50))).string();
                process.parent = i % 2 == 0 ? 1 : process.pid - 1;
                break;
            default:
                process.cgroup = apps + "vte-spawn-" + std::to_string(i) + ".scope";
                process.executable = "/usr/bin/bash";
            }
            m_proc.add(process);
        }
        sources.procRoot = m_proc.root();
        sources.dataDirs = {m_base / "data"};
        sources.searchPath = {bin};
        sources.user = ::getuid();
    }
    ~SyntheticDesktop() { fs::remove_all(m_base); }
    SyntheticDesktop(const SyntheticDesktop &) = delete;
    SyntheticDesktop &operator=(const SyntheticDesktop &) = delete;

    ScannerSources sources;

private:
    fs::path m_base;
    FakeProcTree m_proc;
};

void coldScan(benchmark::State &state) {
    const SyntheticDesktop desktop(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ApplicationScanner scanner(desktop.sources);
        benchmark::DoNotOptimize(scanner.scan());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void warmScan(benchmark::State &state) {
    const SyntheticDesktop desktop(static_cast<int>(state.range(0)));
    ApplicationScanner scanner(desktop.sources);
    benchmark::DoNotOptimize(scanner.scan());
    for (auto _ : state) {
        benchmark::DoNotOptimize(scanner.scan());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void warmScanOfThisMachine(benchmark::State &state) {
    ApplicationScanner scanner(ScannerSources::fromEnvironment());
    benchmark::DoNotOptimize(scanner.scan());
    for (auto _ : state) {
        benchmark::DoNotOptimize(scanner.scan());
    }
}

} // namespace

BENCHMARK(coldScan)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(warmScan)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(warmScanOfThisMachine)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
