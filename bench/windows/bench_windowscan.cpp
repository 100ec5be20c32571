// The Windows scan with many windowed processes, against a bare EnumWindows pass over the
// same windows and against that pass plus the process snapshot the scan also takes, as ratios.
// Google Benchmark has no MinGW build on Debian, so the rounds are timed here: the two are
// interleaved, so that what else the machine does falls on both.
//   bench_windowscan [processes=200] [rounds=200]
#include "platform/windows/applicationscanner.h"
#include "sampleprograms.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <tlhelp32.h>
#include <vector>

using Qolvi_Desktop_Agent::testing::SamplePrograms;
using Qolvi_Desktop_Agent::windows_backend::ApplicationScanner;

namespace {

double nowMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / ticksPerMs;
}

BOOL CALLBACK countWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    *reinterpret_cast<std::size_t *>(count) += IsWindowVisible(window) && process != 0 ? 1 : 0;
    return TRUE;
}

void walkProcessSnapshot() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
    }
    CloseHandle(snapshot);
}

template <typename Work>
double timedMs(Work &&work) {
    const double start = nowMs();
    work();
    return nowMs() - start;
}

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    const int processes = argc > 1 ? std::atoi(argv[1]) : 200;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 200;
    SamplePrograms programs;
    const auto sample = SamplePrograms::built(L"sampleapp.exe");
    for (int i = 0; i < processes; ++i) {
        if (programs.start(sample) == 0) {
            std::fprintf(stderr, "sample program %d did not start\n", i + 1);
            return 1;
        }
    }

    std::vector<double> cold, warm, enumWindows, snapshots;
    std::size_t listed = 0;
    for (int round = 0; round < rounds; ++round) {
        ApplicationScanner scanner;
        cold.push_back(timedMs([&] { listed = scanner.scan().size(); }));
        warm.push_back(timedMs([&] { listed = scanner.scan().size(); }));
        std::size_t windows = 0;
        enumWindows.push_back(
            timedMs([&] { EnumWindows(countWindow, reinterpret_cast<LPARAM>(&windows)); }));
        snapshots.push_back(timedMs(walkProcessSnapshot));
    }
    std::printf("%d sample processes, %zu applications listed, medians of %d rounds\n", processes,
                listed, rounds);
    std::printf("cold scan %.3f ms, warm scan %.3f ms, EnumWindows %.3f ms, process snapshot "
                "%.3f ms\n",
                median(cold), median(warm), median(enumWindows), median(snapshots));
    std::printf("ratio warm scan / EnumWindows: %.2f\n", median(warm) / median(enumWindows));
    std::printf("ratio warm scan / (EnumWindows + process snapshot): %.2f\n",
                median(warm) / (median(enumWindows) + median(snapshots)));
    std::printf("ratio cold scan / EnumWindows: %.2f\n", median(cold) / median(enumWindows));
    return 0;
}
