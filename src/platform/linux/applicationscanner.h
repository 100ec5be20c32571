#pragma once

#include "desktopentryindex.h"

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// Where the scanner looks. The product reads the real /proc and the XDG folders of its
// environment; tests point it at fixture trees.
struct ScannerSources {
    std::filesystem::path procRoot = "/proc";
    std::vector<std::filesystem::path> dataDirs; // XDG_DATA_HOME first, then XDG_DATA_DIRS
    // Data folders inside it are the user's own, whose entries never outrank the system's.
    std::filesystem::path home;
    std::vector<std::filesystem::path> searchPath;
    // Where sandboxed applications are installed; with none of them there, no process is one.
    std::vector<std::filesystem::path> flatpakInstallations;
    uid_t user = 0;

    [[nodiscard]] static ScannerSources fromEnvironment();
};

// Lists the running applications of one user: one identifier per application instance, in
// the order the instances started. What never changes for a process is read once and kept
// while that process lives, so a repeated scan reads only the processes that are new.
class ApplicationScanner {
public:
    explicit ApplicationScanner(ScannerSources sources);
    ~ApplicationScanner();
    ApplicationScanner(const ApplicationScanner &) = delete;
    ApplicationScanner &operator=(const ApplicationScanner &) = delete;

    [[nodiscard]] std::vector<std::string> scan();

private:
    struct Process {
        ino_t inode = 0; // of the process's /proc directory

        pid_t parent = 0;
        unsigned long long startTime = 0;
        std::string identifier;
        // The cgroup of the application unit it runs in: its processes of one identifier are
        // one instance.
        std::string unitPath;
        unsigned long long seenInScan = 0;
    };

    enum class Presence { absent, known, changed };

    // Brings the cached process up to date; absent when it is gone or another user's.
    [[nodiscard]] Presence refresh(pid_t pid, ino_t inode);
    [[nodiscard]] std::vector<std::string> orderedIdentifiers() const;
    void identify(pid_t pid, Process &process);
    // What the process's own program says: "" when it names no system entry.
    [[nodiscard]] std::string identifyProgram(pid_t pid, DesktopEntryIndex::Tier tier);
    // What the way it was launched says: an AppImage's entry, then the launcher's.
    [[nodiscard]] std::string identifyLaunch(pid_t pid);
    [[nodiscard]] const std::string &fingerprintOf(pid_t pid, const std::string &executable);
    [[nodiscard]] bool sandboxesInstalled();
    [[nodiscard]] pid_t instanceRoot(pid_t pid, const Process &process) const;

    ScannerSources m_sources;
    int m_procRootFd = -1;
    DesktopEntryIndex m_desktopEntries;
    std::unordered_map<pid_t, Process> m_processes;
    // Each executable is read once for its fingerprint; a deleted one by its descriptor.
    std::unordered_map<std::string, std::string> m_fingerprintByPath;
    std::vector<std::string> m_identifiers;
    unsigned long long m_scanCount = 0;
    // The scan in which the desktop entries were last checked for changes: once a scan is enough.
    unsigned long long m_entriesCheckedInScan = 0;
    // Whether sandboxed applications can run, as found when this scan first asked.
    unsigned long long m_sandboxesCheckedInScan = 0;
    bool m_sandboxesInstalled = false;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
