#pragma once

#include "platform/linux/entries/desktopentryindex.h"
#include "platform/linux/evidence/evidencetable.h"
#include "platform/linux/scanner/instanceorder.h"
#include "platform/linux/scanner/scannedprocess.h"
#include "platform/linux/scanner/scannersources.h"
#include "platform/linux/scanner/windowevidence.h"

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

    using Process = ScannedProcess;

private:
    enum class Presence { absent, known, changed };

    // Brings the cached process up to date; absent when it is gone.
    [[nodiscard]] Presence refresh(pid_t pid, ino_t inode);
    [[nodiscard]] std::optional<FileKey> runningFile(pid_t pid) const;
    // Names a process by the first source of the table that speaks.
    void identify(pid_t pid, Process &process);
    // Names the processes that own windows, where the window sources outrank what named them;
    // whether any changed.
    bool applyWindows(bool processesChanged);
    [[nodiscard]] EvidenceContext evidenceContext();
    void forgetEndedProcesses();

    ScannerSources m_sources;
    int m_procRootFd = -1;
    DesktopEntryIndex m_desktopEntries;
    std::unordered_map<pid_t, Process> m_processes;
    WindowEvidence m_windows;
    std::vector<std::string> m_identifiers;
    unsigned long long m_scanCount = 0;
    // The scan in which the desktop entries and the sandboxes' installations were last
    // looked at: once a scan is enough.
    unsigned long long m_checkedInScan = 0;
    bool m_sandboxesInstalled = false;
    std::unordered_map<std::string, unsigned> m_unlaunchedSiblings;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
