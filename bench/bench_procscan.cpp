// The scan over this machine's real /proc, with extra processes of this user started and ended
// by the benchmark itself: the agent's cold scan (the key submission) and warm scan (the
// 3-second tick) beside a bare listing of /proc and a simple scan that reads each process's
// status, cgroup and executable link. QOLVI_BENCH_PROCESSES sets how many (default 1,000).

#include "platform/linux/applicationscanner.h"
#include "ratioreporter.h"

#include <array>
#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qolvi_Desktop_Agent::linux_backend;

namespace {

// Sleeping copies of /bin/sleep, each its own process with its own executable link, ended by
// PID when the benchmark ends.
class ExtraProcesses {
public:
    explicit ExtraProcesses(int count) {
        m_pids.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::execl("/bin/sleep", "sleep", "3600", static_cast<char *>(nullptr));
                ::_exit(127);
            }
            if (pid > 0) {
                m_pids.push_back(pid);
            }
        }
    }
    ~ExtraProcesses() {
        for (const pid_t pid : m_pids) {
            ::kill(pid, SIGTERM);
        }
        for (const pid_t pid : m_pids) {
            ::waitpid(pid, nullptr, 0);
        }
    }
    ExtraProcesses(const ExtraProcesses &) = delete;
    ExtraProcesses &operator=(const ExtraProcesses &) = delete;

private:
    std::vector<pid_t> m_pids;
};

int extraProcessCount() {
    const char *value = std::getenv("QOLVI_BENCH_PROCESSES");
    return value != nullptr ? std::atoi(value) : 1000;
}

template <typename Visit>
void forEachProcess(Visit visit) {
    DIR *proc = ::opendir("/proc");
    while (const dirent *entry = ::readdir(proc)) {
        if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9') {
            visit(entry->d_name);
        }
    }
    ::closedir(proc);
}

void bareReaddir(benchmark::State &state) {
    for (auto _ : state) {
        int count = 0;
        forEachProcess([&count](const char *) { ++count; });
        benchmark::DoNotOptimize(count);
    }
}

std::size_t readWhole(const std::string &path) {
    std::array<char, 4096> buffer{};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    const ssize_t count = ::read(fd, buffer.data(), buffer.size());
    ::close(fd);
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

// What any scanner must at least do: one read each of status (owner and parent), cgroup
// (the unit) and the executable link.
void simpleScan(benchmark::State &state) {
    for (auto _ : state) {
        std::size_t bytes = 0;
        forEachProcess([&bytes](const char *pid) {
            const std::string dir = std::string("/proc/") + pid;
            bytes += readWhole(dir + "/status");
            bytes += readWhole(dir + "/cgroup");
            std::array<char, 4096> target{};
            const ssize_t length = ::readlink((dir + "/exe").c_str(), target.data(), target.size());
            bytes += length > 0 ? static_cast<std::size_t>(length) : 0;
        });
        benchmark::DoNotOptimize(bytes);
    }
}

void coldScan(benchmark::State &state) {
    for (auto _ : state) {
        ApplicationScanner scanner(ScannerSources::fromEnvironment());
        benchmark::DoNotOptimize(scanner.scan());
    }
}

void warmScan(benchmark::State &state) {
    ApplicationScanner scanner(ScannerSources::fromEnvironment());
    benchmark::DoNotOptimize(scanner.scan());
    for (auto _ : state) {
        benchmark::DoNotOptimize(scanner.scan());
    }
}

} // namespace

BENCHMARK(bareReaddir)->Unit(benchmark::kMicrosecond);
BENCHMARK(simpleScan)->Unit(benchmark::kMicrosecond);
BENCHMARK(coldScan)->Unit(benchmark::kMicrosecond);
BENCHMARK(warmScan)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv) {
    const ExtraProcesses extra(extraProcessCount());
    return Qolvi_Desktop_Agent::bench::runWithRatios(
        argc, argv, {{"coldScan", "simpleScan"}, {"warmScan", "bareReaddir"}});
}
