#pragma once

#include <filesystem>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// Maps the executables of the installed desktop entries to their desktop file IDs (without
// ".desktop"), over the applications folders of the XDG data directories in precedence order.
class DesktopEntryIndex {
public:
    DesktopEntryIndex(const std::vector<std::filesystem::path> &dataDirs,
                      std::vector<std::filesystem::path> searchPath);

    // Rebuilds the index when an applications folder changed since the last build.
    void rebuildIfChanged();

    // The desktop ID whose TryExec or Exec program is this executable, or "" when none is.
    [[nodiscard]] const std::string &idForExecutable(const std::string &executable) const;

private:
    void rebuild();
    void addFolder(const std::filesystem::path &applications);
    void addEntry(const std::filesystem::path &file, const std::string &desktopId);
    [[nodiscard]] std::string resolveProgram(const std::string &program) const;
    [[nodiscard]] std::vector<std::filesystem::file_time_type> folderTimes() const;

    std::vector<std::filesystem::path> m_applicationFolders;
    std::vector<std::filesystem::path> m_searchPath;
    std::vector<std::filesystem::file_time_type> m_builtFromTimes;
    bool m_built = false;
    std::unordered_set<std::string> m_seenIds;
    std::unordered_map<std::string, std::string> m_idByExecutable;
};

// The program of an Exec value: its first word, with quoting undone, after any "env VAR=value"
// prefix. Empty when there is none.
[[nodiscard]] std::string execProgram(const std::string &exec);

} // namespace Qolvi_Desktop_Agent::linux_backend
