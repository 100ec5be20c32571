#include "applicationscanner.h"

#include "processidentity.h"
#include "taskbarwindows.h"
#include "text.h"

#include <algorithm>
#include <tuple>

namespace Qolvi_Desktop_Agent::windows_backend {

namespace {

ULONGLONG creationTimeOf(HANDLE process) {
    FILETIME creation{}, exit{}, kernel{}, user{};
    if (!GetProcessTimes(process, &creation, &exit, &kernel, &user)) {
        return 0;
    }
    return (ULONGLONG{creation.dwHighDateTime} << 32) | creation.dwLowDateTime;
}

std::string identifierOf(const std::wstring &packagedId, HWND window, HANDLE process) {
    std::wstring identifier = packagedId;
    if (identifier.empty() && window != nullptr) {
        identifier = windowAppUserModelId(window);
    }
    if (identifier.empty()) {
        const std::wstring executable = executablePath(process);
        identifier = originalFilename(executable);
        if (identifier.empty()) {
            identifier = fileNameOf(executable);
        }
    }
    return utf8FromUtf16(lowerCased(identifier));
}

} // namespace

ApplicationScanner::ApplicationScanner() {
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &m_session)) {
        m_session = 0;
    }
}

ApplicationScanner::~ApplicationScanner() {
    for (auto &[pid, process] : m_processes) {
        if (process.handle != nullptr) {
            CloseHandle(process.handle);
        }
    }
}

std::vector<std::string> ApplicationScanner::scan() {
    ++m_scanCount;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return {};
    }
    // Windows first: a process seen in the snapshot that opens its window meanwhile is found;
    // one that opens a window after the snapshot is found by the next scan.
    const std::unordered_map<DWORD, HWND> windows = taskbarWindowsByProcess();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        // A process without threads has ended; a handle (ours too) keeps it listed until closed.
        if (entry.cntThreads == 0) {
            continue;
        }
        if (Process *process = refresh(entry)) {
            process->seenInScan = m_scanCount;
        }
    }
    CloseHandle(snapshot);
    std::erase_if(m_processes, [this](auto &cached) {
        if (cached.second.seenInScan == m_scanCount) {
            return false;
        }
        if (cached.second.handle != nullptr) {
            CloseHandle(cached.second.handle);
        }
        return true;
    });

    const std::vector<Application> found = applications(windows);
    std::unordered_map<DWORD, const Process *> byPid;
    for (const Application &application : found) {
        byPid.emplace(application.pid, application.process);
    }
    std::vector<std::string> identifiers;
    identifiers.reserve(found.size());
    for (const Application &application : found) {
        if (!isRepeatOfItsParent(*application.process, byPid)) {
            identifiers.push_back(*application.process->identifier);
        }
    }
    return identifiers;
}

ApplicationScanner::Process *ApplicationScanner::refresh(const PROCESSENTRY32W &entry) {
    const DWORD pid = entry.th32ProcessID;
    if (pid == 0) {
        return nullptr;
    }
    auto cached = m_processes.find(pid);
    if (cached != m_processes.end()) {
        const Process &process = cached->second;
        // A process held open keeps its ID; one that is not may have passed it on.
        const bool same = process.handle != nullptr
                              ? process.parent == entry.th32ParentProcessID
                              : process.snapshotName == entry.szExeFile &&
                                    process.parent == entry.th32ParentProcessID;
        if (same) {
            return &cached->second;
        }
        forget(pid);
    }
    return &m_processes.insert_or_assign(pid, open(entry)).first->second;
}

ApplicationScanner::Process ApplicationScanner::open(const PROCESSENTRY32W &entry) const {
    Process process;
    process.parent = entry.th32ParentProcessID;
    DWORD session = 0;
    if (ProcessIdToSessionId(entry.th32ProcessID, &session) && session == m_session) {
        process.handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                     entry.th32ProcessID);
    }
    if (process.handle == nullptr) {
        process.snapshotName = entry.szExeFile;
        return process;
    }
    process.creationTime = creationTimeOf(process.handle);
    process.packagedId = packagedAppUserModelId(process.handle);
    return process;
}

std::vector<ApplicationScanner::Application>
ApplicationScanner::applications(const std::unordered_map<DWORD, HWND> &windows) {
    std::vector<Application> found;
    for (auto &[pid, process] : m_processes) {
        if (process.handle == nullptr) {
            continue;
        }
        const auto window = windows.find(pid);
        const bool isApplication = window != windows.end() || !process.packagedId.empty();
        if (!isApplication) {
            continue;
        }
        if (!process.identifier) {
            process.identifier =
                identifierOf(process.packagedId, window != windows.end() ? window->second : nullptr,
                             process.handle);
        }
        // A process that will not say what it runs has no identifier and is left out.
        if (!process.identifier->empty()) {
            found.push_back({pid, &process});
        }
    }
    std::sort(found.begin(), found.end(), [](const Application &a, const Application &b) {
        return std::tie(a.process->creationTime, a.pid) < std::tie(b.process->creationTime, b.pid);
    });
    return found;
}

bool ApplicationScanner::isRepeatOfItsParent(
    const Process &process, const std::unordered_map<DWORD, const Process *> &applications) {
    const auto parent = applications.find(process.parent);
    // A parent that started after its child is another process that took the parent's ID.
    return parent != applications.end() && parent->second->identifier == process.identifier &&
           parent->second->creationTime <= process.creationTime;
}

void ApplicationScanner::forget(DWORD pid) {
    const auto cached = m_processes.find(pid);
    if (cached == m_processes.end()) {
        return;
    }
    if (cached->second.handle != nullptr) {
        CloseHandle(cached->second.handle);
    }
    m_processes.erase(cached);
}

} // namespace Qolvi_Desktop_Agent::windows_backend
