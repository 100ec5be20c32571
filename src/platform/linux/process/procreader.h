#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
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
    // Whose process it is: the real user its status gives, which a process cannot hide.
    [[nodiscard]] std::optional<uid_t> realUser(pid_t pid) const;
    // The cgroup path of the unified hierarchy (or of systemd's named one), or "".
    [[nodiscard]] std::string cgroupPath(pid_t pid) const;
    // What the record at the top of a Flatpak sandbox's root says: the application's name
    // ("[Application] name=") and where its files are installed ("[Instance] app-path=").
    // Anything can write such a record into a root of its own.
    struct FlatpakRecord {
        std::string name;
        std::string appPath;
    };
    [[nodiscard]] FlatpakRecord flatpakRecord(pid_t pid) const;
    [[nodiscard]] std::string flatpakApplication(pid_t pid) const {
        return flatpakRecord(pid).name;
    }
    // The program the process runs, or "" when it cannot be read (a process that made itself
    // non-dumpable hides it). A program deleted since it started keeps its old path.
    [[nodiscard]] std::string executable(pid_t pid, bool *deleted = nullptr) const;
    // The program file's status, also when it has been deleted.
    [[nodiscard]] bool statExecutable(pid_t pid, struct stat &info) const;
    // Whether the process sees the reader's own mounts: then a path names the same file for
    // both, and only who may write its folder could have replaced or deleted it.
    [[nodiscard]] bool sharesMounts(pid_t pid) const;
    // The program file itself, also when it has been deleted; -1 when it cannot be opened.
    [[nodiscard]] int openExecutable(pid_t pid) const;
    // Whether the process maps this file's code: a program the dynamic loader runs is mapped
    // by the loader, whatever the command line says.
    [[nodiscard]] bool mapsCode(pid_t pid, const struct stat &file) const;
    // The file the process reads its standard input from, when that is a regular file: what an
    // interpreter runs when it reads its script from there. "" otherwise.
    [[nodiscard]] std::string standardInputFile(pid_t pid) const;
    // The command line, word by word, the program first; empty when it cannot be read.
    [[nodiscard]] std::vector<std::string> commandLine(pid_t pid) const;
    // One variable of the process's environment, or "".
    [[nodiscard]] std::string environmentValue(pid_t pid, std::string_view name) const;

private:
    // Files the kernel writes (stat, cgroup), one it writes a page at a time (maps), and files
    // a process may plant in its own root.
    enum class Origin { kernel, kernelPaged, process };

    [[nodiscard]] std::optional<std::string> readFile(const std::string &relativePath,
                                                      std::size_t limit, Origin origin) const;

    int m_procRootFd;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
