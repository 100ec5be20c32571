#pragma once

#include "desktopentryindex.h"
#include "x11windows.h"

#include <filesystem>
#include <memory>
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
    // The user's own data folders, whose entries never outrank the system's: the first
    // `userDataDirs` (XDG_DATA_HOME), and any inside the home folder.
    std::size_t userDataDirs = 1;
    std::filesystem::path home;
    std::vector<std::filesystem::path> searchPath;
    // Where sandboxed applications are installed; with none of them there, no process is one.
    std::vector<std::filesystem::path> flatpakInstallations;
    uid_t user = 0;
    // The X display whose windows name their processes, if any; in a Wayland session it is an
    // Xwayland, asked only while one runs, so that asking never starts one.
    std::string display;
    bool waylandSession = false;

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
    // How strongly a process is named: a window outranks how it was launched and the user's
    // entries, and its own program, sandbox or unit outrank a window.
    enum class Evidence { none, launch, window, own };

    struct Process {
        ino_t inode = 0;      // of the process's /proc directory
        bool foreign = false; // another user's
        bool xwayland = false;
        Evidence evidence = Evidence::none;

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
    // What the process's own program says: "" when it names no entry of the tier.
    [[nodiscard]] std::string identifyProgram(pid_t pid, const std::string &executable,
                                              DesktopEntryIndex::Tier tier);
    // What the way it was launched says: an AppImage's entry, then the launcher's.
    [[nodiscard]] std::string identifyLaunch(pid_t pid, const std::string &executable);
    // Names the processes that own windows and nothing stronger names; whether any changed.
    bool applyWindows(bool processesChanged);
    [[nodiscard]] const std::string &fingerprintOf(pid_t pid, const std::string &executable);
    [[nodiscard]] bool sandboxesInstalled();
    [[nodiscard]] pid_t instanceRoot(pid_t pid, const Process &process) const;

    ScannerSources m_sources;
    int m_procRootFd = -1;
    DesktopEntryIndex m_desktopEntries;
    std::unordered_map<pid_t, Process> m_processes;
    // Each executable is read once for its fingerprint; a deleted one by its descriptor.
    std::unordered_map<std::string, std::string> m_fingerprintByPath;
    std::unique_ptr<X11Windows> m_windows;
    std::vector<std::string> m_identifiers;
    unsigned long long m_scanCount = 0;
    // The scan in which the desktop entries were last checked for changes: once a scan is enough.
    unsigned long long m_entriesCheckedInScan = 0;
    // Whether sandboxed applications can run, as found when this scan first asked.
    unsigned long long m_sandboxesCheckedInScan = 0;
    bool m_sandboxesInstalled = false;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
