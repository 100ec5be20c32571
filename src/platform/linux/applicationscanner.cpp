#include "applicationscanner.h"

#include "procreader.h"
#include "programfingerprint.h"
#include "programscript.h"
#include "unitname.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> splitPathList(const char *value, const char *fallback) {
    const std::string list = value != nullptr && *value != '\0' ? value : fallback;
    std::vector<fs::path> paths;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t colon = std::min(list.find(':', start), list.size());
        if (colon > start) {
            paths.emplace_back(list.substr(start, colon - start));
        }
        start = colon + 1;
    }
    return paths;
}

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

std::string_view leafOf(std::string_view cgroupPath) {
    const std::size_t slash = cgroupPath.rfind('/');
    return slash == std::string_view::npos ? cgroupPath : cgroupPath.substr(slash + 1);
}

// The dynamic loader runs the program it is given, as "ld-linux-x86-64.so.2 PROGRAM".
bool isDynamicLoader(const std::string &executable) {
    const std::string name = fs::path(executable).filename().string();
    return name.starts_with("ld-") && name.find(".so") != std::string::npos;
}

// An AppImage runs from a mount of its own, "/tmp/.mount_<name><random>", whose top holds the
// application's desktop entry.
std::string appImageEntryId(const std::string &executable) {
    const std::size_t mount = executable.find("/.mount_");
    if (mount == std::string::npos) {
        return {};
    }
    const fs::path root = executable.substr(0, executable.find('/', mount + 1));
    std::error_code error;
    std::vector<std::string> entries;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".desktop") {
            entries.push_back(it->path().stem().string());
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries.empty() ? std::string() : entries.front();
}

} // namespace

ScannerSources ScannerSources::fromEnvironment() {
    ScannerSources sources;
    const char *home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        sources.home = home;
    }
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && *dataHome != '\0') {
        sources.dataDirs.emplace_back(dataHome);
    } else if (home != nullptr && *home != '\0') {
        sources.dataDirs.push_back(fs::path(home) / ".local/share");
    }
    sources.userDataDirs = sources.dataDirs.size();
    for (fs::path &dir :
         splitPathList(std::getenv("XDG_DATA_DIRS"), "/usr/local/share:/usr/share")) {
        sources.dataDirs.push_back(std::move(dir));
    }
    sources.searchPath = splitPathList(std::getenv("PATH"), "/usr/local/bin:/usr/bin:/bin");
    sources.flatpakInstallations = {"/var/lib/flatpak", "/etc/flatpak/installations.d"};
    if (!sources.dataDirs.empty()) {
        sources.flatpakInstallations.push_back(sources.dataDirs.front() / "flatpak");
    }
    sources.user = ::getuid();
    if (const char *display = std::getenv("DISPLAY"); display != nullptr) {
        sources.display = display;
    }
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    sources.waylandSession = wayland != nullptr && *wayland != '\0';
    return sources;
}

ApplicationScanner::ApplicationScanner(ScannerSources sources)
    : m_sources(std::move(sources))
    , m_procRootFd(::open(m_sources.procRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    , m_desktopEntries(m_sources.dataDirs, m_sources.searchPath, m_sources.userDataDirs,
                       m_sources.home) {}

ApplicationScanner::~ApplicationScanner() {
    if (m_procRootFd >= 0) {
        ::close(m_procRootFd);
    }
}

std::vector<std::string> ApplicationScanner::scan() {
    if (m_procRootFd < 0) {
        return {};
    }
    ++m_scanCount;
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
    // Processes that ended leave the cache; every process still cached was seen in this scan.
    if (seen != m_processes.size()) {
        std::erase_if(m_processes,
                      [this](const auto &item) { return item.second.seenInScan != m_scanCount; });
        changed = true;
    }
    changed = applyWindows(changed) || changed;
    if (changed) {
        m_identifiers = orderedIdentifiers();
    }
    return m_identifiers;
}

std::vector<std::string> ApplicationScanner::orderedIdentifiers() const {
    // Each instance is ordered by its first process: the earliest start, then the lowest PID.
    struct Instance {
        unsigned long long startTime;
        pid_t pid;
        const std::string *identifier;
    };
    const auto earlier = [](const Instance &a, const Instance &b) {
        return std::tie(a.startTime, a.pid) < std::tie(b.startTime, b.pid);
    };
    std::unordered_map<std::string, Instance> byUnit;
    std::unordered_map<pid_t, Instance> byRootProcess;
    const auto include = [&earlier](auto &instances, const auto &key, const Instance &candidate) {
        auto [slot, inserted] = instances.try_emplace(key, candidate);
        if (!inserted && earlier(candidate, slot->second)) {
            slot->second = candidate;
        }
    };
    for (const auto &[pid, process] : m_processes) {
        if (process.identifier.empty()) {
            continue;
        }
        const Instance candidate{process.startTime, pid, &process.identifier};
        if (process.unitPath.empty()) {
            include(byRootProcess, instanceRoot(pid, process), candidate);
        } else {
            // A unit is one instance of each application that names processes in it.
            include(byUnit, process.unitPath + '\n' + process.identifier, candidate);
        }
    }
    std::vector<Instance> ordered;
    ordered.reserve(byUnit.size() + byRootProcess.size());
    for (const auto &[unit, instance] : byUnit) {
        ordered.push_back(instance);
    }
    for (const auto &[root, instance] : byRootProcess) {
        ordered.push_back(instance);
    }
    std::sort(ordered.begin(), ordered.end(), earlier);
    std::vector<std::string> identifiers;
    identifiers.reserve(ordered.size());
    for (const Instance &instance : ordered) {
        identifiers.push_back(*instance.identifier);
    }
    return identifiers;
}

ApplicationScanner::Presence ApplicationScanner::refresh(pid_t pid, ino_t inode) {
    // While a process lives, its /proc directory keeps its inode number; procfs numbers new
    // inodes from a counter, so a reused PID comes with another one. A changed number is then
    // checked against the start time, which tells a reused PID apart.
    auto found = m_processes.find(pid);
    if (found != m_processes.end() && found->second.inode == inode) {
        found->second.seenInScan = m_scanCount;
        return Presence::known;
    }
    struct stat info {};
    const std::string name = std::to_string(pid);
    if (::fstatat(m_procRootFd, name.c_str(), &info, 0) != 0) {
        return Presence::absent;
    }
    if (info.st_uid != m_sources.user) {
        // Other users' processes are remembered too, so that a tick does not look at them again.
        Process &other = m_processes[pid];
        other = Process{};
        other.foreign = true;
        other.inode = inode;
        other.seenInScan = m_scanCount;
        return Presence::known;
    }
    const ProcReader reader(m_procRootFd);
    const auto status = reader.status(pid);
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

void ApplicationScanner::identify(pid_t pid, Process &process) {
    const ProcReader reader(m_procRootFd);
    const std::string cgroup = reader.cgroupPath(pid);
    const std::string_view leaf = leafOf(cgroup);
    // A sandbox's own record names it best, but looking for it costs a path walk through the
    // process's root. It is looked for where the unit says Flatpak started the process, and
    // where nothing else names it (a sandbox started outside a user manager has no unit), and
    // only where sandboxes are installed at all.
    const std::optional<std::string> unitId = applicationIdFromUnit(leaf);
    // A desktop launches each instance in a unit of its own, which groups its processes,
    // whatever names each of them.
    if (unitId) {
        process.unitPath = cgroup;
    }
    if ((!unitId || leaf.starts_with("app-flatpak-")) && sandboxesInstalled()) {
        if (std::string flatpak = reader.flatpakApplication(pid); !flatpak.empty()) {
            process.identifier = std::move(flatpak);
            process.evidence = Evidence::own;
            return;
        }
    }
    if (unitId && (leaf.starts_with("app-flatpak-") || leaf.starts_with("snap."))) {
        process.identifier = *unitId;
        process.evidence = Evidence::own;
        return;
    }
    if (m_entriesCheckedInScan != m_scanCount) {
        m_desktopEntries.rebuildIfChanged();
        m_entriesCheckedInScan = m_scanCount;
    }
    // Then the strongest evidence about the process itself: its program, as installed or
    // copied; the unit a desktop launched it in; its windows (later); how it was launched; the
    // user's own entries.
    const std::string executable = reader.executable(pid);
    process.xwayland = fs::path(executable).filename() == "Xwayland";
    process.identifier = identifyProgram(pid, executable, DesktopEntryIndex::Tier::system);
    if (process.identifier.empty() && unitId) {
        process.identifier = *unitId;
    }
    if (!process.identifier.empty()) {
        process.evidence = Evidence::own;
        return;
    }
    process.identifier = identifyLaunch(pid, executable);
    if (process.identifier.empty()) {
        process.identifier = identifyProgram(pid, executable, DesktopEntryIndex::Tier::user);
    }
    process.evidence = process.identifier.empty() ? Evidence::none : Evidence::launch;
}

bool ApplicationScanner::applyWindows(bool processesChanged) {
    if (m_sources.display.empty() ||
        (m_sources.waylandSession &&
         std::none_of(m_processes.begin(), m_processes.end(),
                      [](const auto &item) { return item.second.xwayland; }))) {
        return false;
    }
    if (!m_windows) {
        m_windows = std::make_unique<X11Windows>(m_sources.display);
    }
    if (!m_windows->refresh() && !processesChanged) {
        return false;
    }
    bool changed = false;
    for (const auto &[pid, window] : m_windows->byProcess()) {
        const auto found = m_processes.find(pid);
        if (found == m_processes.end() || found->second.foreign ||
            found->second.evidence >= Evidence::window) {
            continue;
        }
        if (std::string id = m_desktopEntries.idForWindow(window); !id.empty()) {
            found->second.identifier = std::move(id);
            found->second.evidence = Evidence::window;
            changed = true;
        }
    }
    return changed;
}

std::string ApplicationScanner::identifyProgram(pid_t pid, const std::string &executable,
                                                DesktopEntryIndex::Tier tier) {
    const ProcReader reader(m_procRootFd);
    const DesktopEntryIndex &entries = m_desktopEntries;
    ProgramQuestion question{executable, {}};
    bool argumentsRead = false;
    const auto readArguments = [&] {
        if (!argumentsRead) {
            question.arguments = reader.commandLine(pid);
            argumentsRead = true;
        }
    };
    // A program that hides its executable still shows its command line.
    if (question.executable.empty()) {
        readArguments();
        if (question.arguments.empty()) {
            return {};
        }
        question.executable = resolveProgram(question.arguments.front(), m_sources.searchPath);
    }
    if (isDynamicLoader(question.executable)) {
        readArguments();
        const std::string *program = firstOperand(question.arguments, 1);
        if (program == nullptr) {
            return {};
        }
        question.executable = resolveProgram(*program, m_sources.searchPath);
        question.arguments.erase(question.arguments.begin(),
                                 question.arguments.begin() +
                                     (program - question.arguments.data()));
    }
    if (entries.needsArguments(question.executable)) {
        readArguments();
    }
    if (std::string id = entries.idForProgram(question, tier); !id.empty()) {
        return id;
    }
    // An interpreter is named by what it runs: a file an entry gives it, or a script whose own
    // "#!" line names this interpreter.
    if (entries.isInterpreter(question.executable)) {
        readArguments();
        const std::string *operand = firstOperand(question.arguments, 1);
        const std::string script =
            operand != nullptr ? resolveProgram(*operand, m_sources.searchPath) : std::string();
        if (!script.empty()) {
            if (std::string id = entries.idForProgramFile(question.executable, script, tier);
                !id.empty()) {
                return id;
            }
            if (scriptInterpreter(script, m_sources.searchPath) == question.executable) {
                const auto from =
                    question.arguments.begin() + (operand - question.arguments.data());
                const ProgramQuestion run{script, {from, question.arguments.end()}};
                if (std::string id = entries.idForProgram(run, tier); !id.empty()) {
                    return id;
                }
                if (tier == DesktopEntryIndex::Tier::system) {
                    if (std::string id = m_desktopEntries.idForFingerprint(fileFingerprint(script));
                        !id.empty()) {
                        return id;
                    }
                }
            }
        }
    }
    if (tier == DesktopEntryIndex::Tier::user) {
        return {};
    }
    // A copy of an installed program, under any name, in any folder, deleted or not.
    const std::string &fingerprint = fingerprintOf(pid, question.executable);
    return fingerprint.empty() ? std::string() : m_desktopEntries.idForFingerprint(fingerprint);
}

const std::string &ApplicationScanner::fingerprintOf(pid_t pid, const std::string &executable) {
    auto found = m_fingerprintByPath.find(executable);
    if (found == m_fingerprintByPath.end()) {
        const int fd = ProcReader(m_procRootFd).openExecutable(pid);
        found = m_fingerprintByPath.emplace(executable, programFingerprint(fd)).first;
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return found->second;
}

std::string ApplicationScanner::identifyLaunch(pid_t pid, const std::string &executable) {
    const ProcReader reader(m_procRootFd);
    if (std::string id = appImageEntryId(executable); !id.empty()) {
        return id;
    }
    // GLib's launchers name the entry they started a process from; its children inherit the
    // variable, but only the process itself has the PID it gives.
    const std::string launched = reader.environmentValue(pid, "GIO_LAUNCHED_DESKTOP_FILE");
    if (launched.empty() ||
        reader.environmentValue(pid, "GIO_LAUNCHED_DESKTOP_FILE_PID") != std::to_string(pid)) {
        return {};
    }
    return m_desktopEntries.idForEntryFile(launched);
}

bool ApplicationScanner::sandboxesInstalled() {
    if (m_sandboxesCheckedInScan != m_scanCount) {
        m_sandboxesCheckedInScan = m_scanCount;
        std::error_code error;
        m_sandboxesInstalled = std::any_of(
            m_sources.flatpakInstallations.begin(), m_sources.flatpakInstallations.end(),
            [&error](const fs::path &place) { return fs::exists(place, error); });
    }
    return m_sandboxesInstalled;
}

pid_t ApplicationScanner::instanceRoot(pid_t pid, const Process &process) const {
    // A child that has its parent's identifier belongs to its parent's instance.
    pid_t root = pid;
    const Process *current = &process;
    for (std::size_t steps = 0; steps < m_processes.size(); ++steps) {
        const auto parent = m_processes.find(current->parent);
        if (parent == m_processes.end() || parent->second.seenInScan != m_scanCount ||
            parent->second.identifier != process.identifier || !parent->second.unitPath.empty()) {
            break;
        }
        root = parent->first;
        current = &parent->second;
    }
    return root;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
