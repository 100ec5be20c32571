#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// Reads the per-process files of a /proc tree through a directory descriptor of its root.
class ProcReader {
public:
    explicit ProcReader(int procRootFd)
        : m_procRootFd(procRootFd) {}

    struct Status {
        pid_t parent = 0;
        unsigned long long startTime = 0; // clock ticks after boot
    };

    [[nodiscard]] std::optional<Status> status(pid_t pid) const;
    // The cgroup path of the unified hierarchy (or of systemd's named one), or "".
    [[nodiscard]] std::string cgroupPath(pid_t pid) const;
    // The application name of a Flatpak sandbox ("[Application] name="), or "".
    [[nodiscard]] std::string flatpakApplication(pid_t pid) const;
    // The program the process runs, or "" when it cannot be read (a process that made itself
    // non-dumpable hides it). A program deleted since it started keeps its old path.
    [[nodiscard]] std::string executable(pid_t pid) const;
    // The program file itself, also when it has been deleted; -1 when it cannot be opened.
    [[nodiscard]] int openExecutable(pid_t pid) const;
    // The command line, word by word, the program first; empty when it cannot be read.
    [[nodiscard]] std::vector<std::string> commandLine(pid_t pid) const;
    // One variable of the process's environment, or "".
    [[nodiscard]] std::string environmentValue(pid_t pid, std::string_view name) const;

private:
    // Files the kernel writes (stat, cgroup) and files a process may plant in its own root.
    enum class Origin { kernel, process };

    [[nodiscard]] std::optional<std::string> readFile(const std::string &relativePath,
                                                      std::size_t limit, Origin origin) const;

    int m_procRootFd;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
