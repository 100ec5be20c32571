#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace Qolvi_Desktop_Agent::testing {

// A /proc tree in a folder, with the files the running-applications scanner reads.
class FakeProcTree {
public:
    struct Process {
        pid_t pid = 0;
        pid_t parent = 1;
        unsigned long long startTime = 0;
        std::string cgroup = "/";
        std::string executable; // where the exe link points; none when empty
        std::vector<std::string> commandLine;
        std::vector<std::string> environment; // NAME=value
        std::string flatpakName;              // writes root/.flatpak-info when set
        std::string flatpakAppPath;           // the record's [Instance] app-path
        std::string standardInput;            // where fd/0 points; none when empty
        std::vector<std::string> mapped;      // files whose code maps lists

        bool cgroupV1 = false;
        std::optional<uid_t> realUser; // writes status with this Uid when set
    };

    explicit FakeProcTree(std::filesystem::path root);

    void add(const Process &process) const;
    void remove(pid_t pid) const;
    [[nodiscard]] const std::filesystem::path &root() const { return m_root; }

private:
    std::filesystem::path m_root;
};

// Writes an applications/<id>.desktop entry under a data folder.
void writeDesktopEntry(const std::filesystem::path &dataDir, const std::string &relativePath,
                       const std::string &content);

} // namespace Qolvi_Desktop_Agent::testing
