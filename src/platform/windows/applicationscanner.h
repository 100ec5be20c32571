#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <tlhelp32.h>
#include <unordered_map>
#include <vector>

namespace Qolvi_Desktop_Agent::windows_backend {

// Lists the running applications of the current user's session: processes that show a window
// on the taskbar, and packaged applications. One identifier per application instance, in the
// order the instances started. What never changes for a process is read once and kept while
// that process lives, so a repeated scan opens only the processes that are new.
class ApplicationScanner {
public:
    ApplicationScanner();
    ~ApplicationScanner();
    ApplicationScanner(const ApplicationScanner &) = delete;
    ApplicationScanner &operator=(const ApplicationScanner &) = delete;

    [[nodiscard]] std::vector<std::string> scan();

private:
    struct Process {
        // Held open while the process is cached, so that Windows cannot give its ID to another.
        HANDLE handle = nullptr;
        DWORD parent = 0;
        // For a process that is not looked into (another session's, or one that refuses):
        // its executable's name, to tell it from a later process under the same ID.
        std::wstring snapshotName;
        ULONGLONG creationTime = 0;
        std::wstring packagedId;
        std::optional<std::string> identifier;
        unsigned long long seenInScan = 0;
    };

    struct Application {
        DWORD pid;
        const Process *process;
    };

    [[nodiscard]] Process *refresh(const PROCESSENTRY32W &entry);
    [[nodiscard]] Process open(const PROCESSENTRY32W &entry) const;
    [[nodiscard]] std::vector<Application>
    applications(const std::unordered_map<DWORD, HWND> &windows);
    // A child that an application started and that goes by its parent's identifier is part
    // of the same instance.
    [[nodiscard]] static bool
    isRepeatOfItsParent(const Process &process,
                        const std::unordered_map<DWORD, const Process *> &applications);
    void forget(DWORD pid);

    DWORD m_session = 0;
    std::unordered_map<DWORD, Process> m_processes;
    unsigned long long m_scanCount = 0;
};

} // namespace Qolvi_Desktop_Agent::windows_backend
