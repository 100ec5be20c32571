// The scan over this machine's real /proc, with extra processes of this user started and ended
// by the benchmark itself, and on the X display of DISPLAY, if any, top-level windows it makes
// itself: the agent's cold scan (the key submission) and warm scan (the 3-second tick) beside a
// simple scan that reads each process's status, cgroup and executable link, and a bare listing
// of /proc with one X round trip. The installed applications are desktop entries of its own,
// in data folders of its own: one per program of /usr/bin, every tenth through a wrapper script.
// QOLVI_BENCH_PROCESSES, QOLVI_BENCH_WINDOWS and QOLVI_BENCH_ENTRIES set how many (default
// 1,000, 50 and 100).

#include "platform/linux/scanner/applicationscanner.h"
#include "ratioreporter.h"

#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

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

// Desktop entries in data folders of the benchmark's own, each naming another real program, as
// XDG_DATA_DIRS and XDG_DATA_HOME give them to the scanner; gone when the benchmark ends.
class InstalledEntries {
public:
    explicit InstalledEntries(int count)
        : m_root(std::filesystem::temp_directory_path() /
                 ("qolvi-bench-entries-" + std::to_string(::getpid()))) {
        namespace fs = std::filesystem;
        fs::create_directories(m_root / "share/applications");
        fs::create_directories(m_root / "home");
        fs::create_directories(m_root / "wrappers");
        std::vector<fs::path> programs;
        std::error_code error;
        for (fs::directory_iterator it("/usr/bin", error), end; !error && it != end;
             it.increment(error)) {
            if (!it->is_symlink(error) && it->is_regular_file(error) && isElf(it->path())) {
                programs.push_back(it->path());
            }
        }
        std::sort(programs.begin(), programs.end());
        programs.resize(std::min(programs.size(), static_cast<std::size_t>(count)));
        for (std::size_t index = 0; index < programs.size(); ++index) {
            std::string exec = programs[index].string();
            if (index % 10 == 0) {
                const fs::path wrapper = m_root / "wrappers" / programs[index].filename();
                std::ofstream(wrapper) << "#!/bin/sh\nPROGRAM=" << exec
                                       << "\nexec \"$PROGRAM\" --from-wrapper \"$@\"\n";
                fs::permissions(wrapper, fs::perms::owner_all);
                exec = wrapper.string();
            }
            std::ofstream(m_root / "share/applications" /
                          ("org.bench.App" + std::to_string(index) + ".desktop"))
                << "[Desktop Entry]\nType=Application\nName=App\nExec=" << exec << " %U\n";
        }
        m_count = programs.size();
        ::setenv("XDG_DATA_DIRS", (m_root / "share").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (m_root / "home").c_str(), 1);
    }
    ~InstalledEntries() {
        std::error_code error;
        std::filesystem::remove_all(m_root, error);
    }
    InstalledEntries(const InstalledEntries &) = delete;
    InstalledEntries &operator=(const InstalledEntries &) = delete;

    [[nodiscard]] std::size_t count() const { return m_count; }

private:
    static bool isElf(const std::filesystem::path &file) {
        char magic[4] = {};
        std::ifstream(file, std::ios::binary).read(magic, sizeof magic);
        return std::equal(magic, magic + 4, "\177ELF");
    }

    std::filesystem::path m_root;
    std::size_t m_count = 0;
};

int countFromEnvironment(const char *name, int fallback) {
    const char *value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : fallback;
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name) {
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::string(name).size()), name),
        nullptr);
    const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return found;
}

// Top-level windows as applications show them, listed in the root window's client list as a
// window manager lists them, each with a class that names no entry.
class ExtraWindows {
public:
    explicit ExtraWindows(int count)
        : m_connection(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(m_connection) != 0) {
            return;
        }
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_root = screen->root;
        m_clientList = atom(m_connection, "_NET_CLIENT_LIST");
        std::vector<xcb_window_t> windows;
        for (int i = 0; i < count; ++i) {
            const xcb_window_t window = xcb_generate_id(m_connection);
            xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 50, 50, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
            const std::string windowClass = "bench\0Bench" + std::to_string(i) + '\0';
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                                XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(windowClass.size()),
                                windowClass.data());
            xcb_map_window(m_connection, window);
            windows.push_back(window);
        }
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_root, m_clientList,
                            XCB_ATOM_WINDOW, 32, static_cast<std::uint32_t>(windows.size()),
                            windows.data());
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        m_ready = true;
    }
    ~ExtraWindows() { xcb_disconnect(m_connection); }
    ExtraWindows(const ExtraWindows &) = delete;
    ExtraWindows &operator=(const ExtraWindows &) = delete;

    [[nodiscard]] bool ready() const { return m_ready; }
    // What a tick asks of the server at least: the client list, one round trip.
    void askClientList() const {
        std::free(xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 0, m_root, m_clientList, XCB_ATOM_WINDOW, 0, 4096),
            nullptr));
    }

private:
    xcb_connection_t *m_connection;
    xcb_window_t m_root = 0;
    xcb_atom_t m_clientList = 0;
    bool m_ready = false;
};

const ExtraWindows *extraWindows = nullptr;

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

// The least a tick can do: list /proc, and ask the X server for its windows once.
void bareReaddir(benchmark::State &state) {
    for (auto _ : state) {
        int count = 0;
        forEachProcess([&count](const char *) { ++count; });
        if (extraWindows != nullptr) {
            extraWindows->askClientList();
        }
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
    const InstalledEntries entries(countFromEnvironment("QOLVI_BENCH_ENTRIES", 100));
    std::fprintf(stderr, "%zu installed entries\n", entries.count());
    const ExtraProcesses extra(countFromEnvironment("QOLVI_BENCH_PROCESSES", 1000));
    const ExtraWindows windows(countFromEnvironment("QOLVI_BENCH_WINDOWS", 50));
    if (windows.ready()) {
        extraWindows = &windows;
    } else {
        std::fputs("No X display: the scans run without windows.\n", stderr);
    }
    return Qolvi_Desktop_Agent::bench::runWithRatios(
        argc, argv, {{"coldScan", "simpleScan"}, {"warmScan", "bareReaddir"}});
}
