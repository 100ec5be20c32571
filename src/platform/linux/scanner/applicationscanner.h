#pragma once

#include "platform/linux/entries/desktopentryindex.h"
#include "platform/linux/evidence/evidence.h"
#include "platform/linux/windows/windowidentity.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <unordered_set>
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
    // Who owns the system's files besides root: no one else in the product.
    uid_t systemOwner = 0;
    // Where sandboxed applications are installed; with none of them there, no process is one.
    std::vector<std::filesystem::path> flatpakInstallations;
    uid_t user = 0;
    // The X display whose windows name their processes, if any; in a Wayland session it is an
    // Xwayland, asked only while one runs, so that asking never starts one.
    std::string display;
    bool waylandSession = false;
    // Opens the display's window list; X11Windows when none is given (tests give their own).
    std::function<std::unique_ptr<WindowList>(const std::string &display)> openX11Display;
    // How long a scan waits for the window sources, which ask other programs on threads of their
    // own; what comes later is taken at the next scan. The agent waits a short while, so that a
    // silent display server, compositor or bus never stalls its window; a tool may wait as long
    // as the sources' own limits.
    std::chrono::milliseconds windowAnswerWait{std::chrono::seconds(30)};

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
    // Whether a window source found, in the scans so far, that the desktop lists its windows
    // only from the user's next login on.
    [[nodiscard]] bool windowsNeedNewLogin() const;

    struct Process {
        ino_t inode = 0;      // of the process's /proc directory
        bool foreign = false; // another user's: looked at only when it owns a window
        bool foreignLookedAt = false;
        bool xwayland = false;
        Source source = Source::none; // the evidence that named it
        pid_t parent = 0;
        unsigned long long startTime = 0;
        std::string identifier;
        bool helper = false; // an application's helper, part of a running instance
        // Named an installed application by what the candidate controls, though its own file
        // is not that application's.
        bool claim = false;
        // The program file the kernel runs for it, where it may exec another in place; another
        // one is an exec in place.
        std::optional<FileKey> running;
        // The cgroup of the application unit it runs in: its processes of one identifier are
        // one instance.
        std::string unitPath;
        // The program files read for it, whose fingerprints stay while it runs.
        std::vector<FileKey> files;
        unsigned long long seenInScan = 0;
    };

private:
    enum class Presence { absent, known, changed };

    // Brings the cached process up to date; absent when it is gone.
    [[nodiscard]] Presence refresh(pid_t pid, ino_t inode);
    [[nodiscard]] std::optional<FileKey> runningFile(pid_t pid) const;
    // Names a process by the first source of the table that speaks.
    void identify(pid_t pid, Process &process);
    // Names the processes that own windows, where the window sources may speak; whether any
    // changed.
    bool applyWindows(bool processesChanged);
    // The applications that windows without a known owner name and no process does, each once.
    [[nodiscard]] std::vector<std::string> unownedWindowIds();
    [[nodiscard]] Knowledge knowledge();
    void forgetEndedProcesses();

    ScannerSources m_sources;
    int m_procRootFd = -1;
    DesktopEntryIndex m_desktopEntries;
    std::unordered_map<pid_t, Process> m_processes;
    struct WindowSource {
        Source source;
        std::unique_ptr<WindowList> list;
    };
    std::vector<WindowSource> m_windowSources;
    std::vector<std::string> m_unownedWindowIds;
    std::vector<std::string> m_identifiers;
    unsigned long long m_scanCount = 0;
    // The scan in which the desktop entries and the sandboxes' installations were last
    // looked at: once a scan is enough.
    unsigned long long m_checkedInScan = 0;
    bool m_sandboxesInstalled = false;
    std::unordered_map<std::string, unsigned> m_unlaunchedSiblings;
};

// One identifier per instance, in the order the instances started: a unit's processes of one
// identifier are one instance, and so are a process's children that have its identifier, and
// an application's helpers while the application runs.
[[nodiscard]] std::vector<std::string>
orderedIdentifiers(const std::unordered_map<pid_t, ApplicationScanner::Process> &processes,
                   unsigned long long scan);

} // namespace Qolvi_Desktop_Agent::linux_backend
