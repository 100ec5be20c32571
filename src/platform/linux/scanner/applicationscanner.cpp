#include "platform/linux/scanner/applicationscanner.h"

#include "platform/linux/evidence/examinedprocess.h"
#include "platform/linux/process/procreader.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

std::optional<pid_t> parsePid(const char *name) {
    pid_t pid = 0;
    for (const char *c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return std::nullopt;
        }
        pid = pid * 10 + (*c - '0');
    }
    return pid > 0 ? std::optional(pid) : std::nullopt;
}

} // namespace

ApplicationScanner::ApplicationScanner(ScannerSources sources)
    : m_sources(std::move(sources))
    , m_procRootFd(::open(m_sources.procRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    , m_desktopEntries(m_sources.dataDirs, m_sources.searchPath, m_sources.userDataDirs,
                       m_sources.home, m_sources.systemOwner)
    , m_windows(m_sources) {}

ApplicationScanner::~ApplicationScanner() {
    if (m_procRootFd >= 0) {
        ::close(m_procRootFd);
    }
}

bool ApplicationScanner::windowsNeedNewLogin() const {
    return m_windows.needsNewLogin();
}

std::vector<std::string> ApplicationScanner::scan() {
    if (m_procRootFd < 0) {
        return {};
    }
    ++m_scanCount;
    m_desktopEntries.fingerprints().startScan();
    // A descriptor of its own, so that every scan reads the directory from its beginning.
    const int listingFd = ::openat(m_procRootFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *directory = listingFd < 0 ? nullptr : ::fdopendir(listingFd);
    if (directory == nullptr) {
        if (listingFd >= 0) {
            ::close(listingFd);
        }
        return {};
    }
    bool changed = false;
    std::size_t seen = 0;
    while (const dirent *entry = ::readdir(directory)) {
        if (const auto pid = parsePid(entry->d_name)) {
            const Presence presence = refresh(*pid, entry->d_ino);
            changed = changed || presence == Presence::changed;
            seen += presence != Presence::absent ? 1 : 0;
        }
    }
    ::closedir(directory);
    // Every process still cached was seen in this scan, unless some ended.
    if (seen != m_processes.size()) {
        forgetEndedProcesses();
        changed = true;
    }
    changed = applyWindows(changed) || changed;
    if (changed) {
        m_identifiers = orderedIdentifiers(m_processes, m_scanCount);
        const std::vector<std::string> &unowned = m_windows.unownedWindowIds();
        m_identifiers.insert(m_identifiers.end(), unowned.begin(), unowned.end());
    }
    return m_identifiers;
}

void ApplicationScanner::forgetEndedProcesses() {
    std::erase_if(m_processes,
                  [this](const auto &item) { return item.second.seenInScan != m_scanCount; });
    std::unordered_set<FileKey, FileKeyHash> running;
    for (const auto &[pid, process] : m_processes) {
        running.insert(process.files.begin(), process.files.end());
    }
    m_desktopEntries.fingerprints().keepOnly(running);
}

ApplicationScanner::Presence ApplicationScanner::refresh(pid_t pid, ino_t inode) {
    // While a process lives, its /proc directory keeps its inode number; procfs numbers new
    // inodes from a counter, so a reused PID comes with another one. A changed number is then
    // checked against the start time, which tells a reused PID apart.
    auto found = m_processes.find(pid);
    if (found != m_processes.end() && found->second.inode == inode) {
        found->second.seenInScan = m_scanCount;
        // A process that execs stays where it was in /proc: the file it runs tells.
        if (!found->second.running || runningFile(pid) == found->second.running) {
            return Presence::known;
        }
        Process &process = found->second;
        process.files.clear();
        identify(pid, process);
        return Presence::changed;
    }
    struct stat info {};
    const std::string name = std::to_string(pid);
    if (::fstatat(m_procRootFd, name.c_str(), &info, 0) != 0) {
        return Presence::absent;
    }
    // A process that is not dumpable (one whose program cannot be read, say) shows its /proc
    // files as root's; its status still says whose it is.
    if (info.st_uid != m_sources.user &&
        ProcReader(m_procRootFd).realUser(pid) != std::optional<uid_t>(m_sources.user)) {
        // Other users' processes are read only when they own a window; remembered, so that a
        // tick does not look at them again.
        Process &other = m_processes[pid];
        other = Process{};
        other.foreign = true;
        other.inode = inode;
        other.seenInScan = m_scanCount;
        return Presence::known;
    }
    const auto status = ProcReader(m_procRootFd).status(pid);
    if (!status) {
        return Presence::absent;
    }
    Presence presence = Presence::known;
    if (found == m_processes.end() || found->second.startTime != status->startTime) {
        Process process;
        process.parent = status->parent;
        process.startTime = status->startTime;
        identify(pid, process);
        found = m_processes.insert_or_assign(pid, std::move(process)).first;
        presence = Presence::changed;
    }
    found->second.inode = inode;
    found->second.seenInScan = m_scanCount;
    return presence;
}

EvidenceContext ApplicationScanner::evidenceContext() {
    if (m_checkedInScan != m_scanCount) {
        m_checkedInScan = m_scanCount;
        m_desktopEntries.rebuildIfChanged();
        m_unlaunchedSiblings.clear();
        std::error_code error;
        m_sandboxesInstalled = std::any_of(
            m_sources.flatpakInstallations.begin(), m_sources.flatpakInstallations.end(),
            [&error](const fs::path &place) { return fs::exists(place, error); });
    }
    return {m_desktopEntries, m_sources, m_sandboxesInstalled, m_unlaunchedSiblings};
}

std::optional<FileKey> ApplicationScanner::runningFile(pid_t pid) const {
    struct stat info {};
    return ::fstatat(m_procRootFd, (std::to_string(pid) + "/exe").c_str(), &info, 0) == 0
               ? std::optional(fileKeyOf(info))
               : std::nullopt;
}

bool ApplicationScanner::applyWindows(bool processesChanged) {
    return m_windows.apply(
        m_processes, processesChanged,
        [this]() -> const DesktopEntryIndex & { return evidenceContext().entries; },
        [this](pid_t pid, Process &process) {
            const auto status = ProcReader(m_procRootFd).status(pid);
            if (!status) {
                return false;
            }
            process.parent = status->parent;
            process.startTime = status->startTime;
            identify(pid, process);
            return true;
        });
}

void ApplicationScanner::identify(pid_t pid, Process &process) {
    const ProcReader reader(m_procRootFd);
    ExaminedProcess examined(pid, process.parent, process.foreign, reader, m_sources);
    EvidenceContext context = evidenceContext();
    Naming naming = identifyProcess(examined, context);
    process.identifier = std::move(naming.identifier);
    process.source = naming.source;
    process.claim =
        candidateControlled(naming.source) && m_desktopEntries.hasProgram(process.identifier);
    // Only a process that may exec in place is asked at each tick for the file it runs.
    process.running =
        examined.mayExecInPlace(m_desktopEntries) ? examined.runningKey() : std::nullopt;
    process.helper = examined.helper && naming.source == Source::program;
    // A desktop launches each instance in a unit of its own, which groups its processes,
    // whatever names each of them.
    if (examined.unitId()) {
        process.unitPath = examined.cgroup();
    }
    process.xwayland = examined.executable().ends_with("/Xwayland");
    if (examined.programFile) {
        process.files.push_back(*examined.programFile);
    }
}

} // namespace Qolvi_Desktop_Agent::linux_backend
