#include "platform/linux/entries/desktopentryindex.h"

#include "platform/linux/process/programfingerprint.h"
#include "platform/linux/process/programscript.h"

#include <algorithm>
#include <array>
#include <system_error>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

using Key = EntryCandidates::Key;

DesktopEntryIndex::DesktopEntryIndex(const std::vector<fs::path> &dataDirs,
                                     std::vector<fs::path> searchPath, std::size_t userDataDirs,
                                     fs::path home, uid_t systemOwner)
    : m_dataDirs(dataDirs)
    , m_searchPath(std::move(searchPath))
    , m_systemFiles(systemOwner)
    , m_userDataDirs(userDataDirs)
    , m_home(std::move(home)) {}

bool DesktopEntryIndex::isUserFolder(const fs::path &folder) {
    const auto firstSystem = m_dataDirs.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(m_userDataDirs, m_dataDirs.size()));
    return std::find(m_dataDirs.begin(), firstSystem, folder) != firstSystem ||
           isInside(folder, m_home) || !m_systemFiles.owns(folder);
}

std::vector<fs::file_time_type> DesktopEntryIndex::folderTimes() const {
    std::vector<fs::file_time_type> times;
    times.reserve(m_dataDirs.size() * 2);
    for (const fs::path &dir : m_dataDirs) {
        for (const char *folder : {"applications", "dbus-1/services"}) {
            std::error_code error;
            const fs::file_time_type time = fs::last_write_time(dir / folder, error);
            times.push_back(error ? fs::file_time_type::min() : time);
        }
    }
    return times;
}

void DesktopEntryIndex::rebuildIfChanged() {
    std::vector<fs::file_time_type> times = folderTimes();
    if (m_built && times == m_builtFromTimes) {
        return;
    }
    m_builtFromTimes = std::move(times);
    rebuild();
    m_built = true;
}

void DesktopEntryIndex::rebuild() {
    m_candidates.clear();
    m_copies.clear(m_fingerprints);
    m_programKeys.clear();
    forgetResolvedFolders();
    m_systemFiles.forget();
    m_searchFolders.clear();
    m_systemSearchPath.clear();
    for (const fs::path &dir : m_searchPath) {
        std::error_code error;
        if (fs::path canonical = fs::canonical(dir, error); !error) {
            m_searchFolders.insert(canonical.string());
        }
        if (m_systemFiles.owns(dir)) {
            m_systemSearchPath.push_back(dir);
        }
    }
    // The system's folders first, so that the user's entries find every program they name.
    for (const bool user : {false, true}) {
        for (const fs::path &dir : m_dataDirs) {
            if (isUserFolder(dir) == user) {
                addFolder(dir / "applications", user);
            }
        }
    }
    for (const fs::path &dir : m_dataDirs) {
        if (!isUserFolder(dir)) {
            addServices(dir / "dbus-1/services");
        }
    }
    // A copy of a system entry's program is that entry's application, as the program is.
    m_candidates.forEachSystemProgram([this](const std::string &program, const std::string &id) {
        const auto read = m_programKeys.find(program);
        m_copies.add(program, id,
                     read != m_programKeys.end() ? read->second : std::optional<FileKey>());
    });
}

void DesktopEntryIndex::addFolder(const fs::path &applications, bool user) {
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(applications, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().extension() == ".desktop" && it->is_regular_file(error)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path &file : files) {
        // The desktop file ID is the path below the applications folder with '/' as '-'.
        std::string id = file.lexically_relative(applications).replace_extension().string();
        std::replace(id.begin(), id.end(), '/', '-');
        // Among the system's folders the first in precedence order has the ID. The user's
        // entries never take an ID or a program from the system's.
        if (user ? !m_candidates.isSystemId(id) : m_candidates.takeSystemId(id)) {
            addEntry(file, std::move(id), user);
        }
    }
}

void DesktopEntryIndex::addServices(const fs::path &services) {
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(services, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().extension() == ".service") {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path &file : files) {
        KeyGroup service = readKeyGroup(file, "D-BUS Service");
        const std::string &name = service["Name"];
        const std::string &exec = service["Exec"];
        const EntryCandidates::Entry *named = m_candidates.systemEntry(name);
        if (name.empty() || named == nullptr) {
            continue;
        }
        EntryCandidates::Entry server = *named;
        server.fixedArguments.clear();
        addCommand(m_candidates.add(std::move(server)), parseExec(exec), false, true);
    }
}

void DesktopEntryIndex::addEntry(const fs::path &file, std::string desktopId, bool user) {
    const DesktopEntry entry = readDesktopEntry(file);
    // A hidden entry counts as deleted. A terminal program is not an application of the
    // desktop: its entry would name every process of that interpreter or tool the user runs.
    if (entry.hidden || entry.terminal || (!entry.type.empty() && entry.type != "Application")) {
        return;
    }
    if (!user) {
        // The class a window manager matches to the entry, and its ID, as desktops do.
        for (const std::string &windowClass : {entry.startupWmClass, desktopId}) {
            m_candidates.addWindowClass(windowClass, desktopId);
        }
    }
    const std::size_t index =
        m_candidates.add({std::move(desktopId), {}, {}, !entry.noDisplay, user}, file);
    const ExecCommand command = parseExec(entry.exec);
    addCommand(index, command, user, false);
    // The program TryExec names is the entry's too, when Exec reaches it another way.
    if (const std::string tryProgram = resolveProgram(entry.tryExec, searchPathFor(user));
        !tryProgram.empty() && tryProgram != m_candidates.entry(index).program &&
        (user || m_systemFiles.owns(tryProgram))) {
        m_candidates.addCandidate(Key::program, tryProgram, index, user);
    }
}

void DesktopEntryIndex::addCommand(std::size_t index, const ExecCommand &command, bool user,
                                   bool service) {
    std::string program = resolveProgram(command.program, searchPathFor(user));
    // A system entry names only a program that is the system's: the candidate writes the rest.
    if (!user && !program.empty() && !m_systemFiles.owns(program)) {
        program.clear();
    }
    m_candidates.entry(index).program = program;
    m_candidates.entry(index).fixedArguments = command.fixedArguments;
    if (program.empty()) {
        return;
    }
    if (const std::string file = handedFile(command.fixedArguments); !file.empty()) {
        m_candidates.addCandidate(Key::programFile, program + '\n' + file, index, user);
        m_candidates.addInterpreter(program);
        return;
    }
    // "sh -c ..." runs a command line: the shell is not the application.
    if (!command.fixedArguments.empty() && command.fixedArguments.front() == "-c") {
        return;
    }
    m_candidates.addCandidate(Key::program, program, index, user);
    // The program is read once here: whether it is a script, and what a copy of it shares.
    const int fd = openProgramFile(program);
    std::array<char, 256> head{};
    const ssize_t headSize = fd >= 0 ? ::pread(fd, head.data(), head.size(), 0) : 0;
    if (!user) {
        m_programKeys.try_emplace(program, m_fingerprints.add(fd, true));
    }
    if (fd >= 0) {
        ::close(fd);
    }
    ProgramScript script = readProgramScript(
        program,
        std::string_view(head.data(), static_cast<std::size_t>(std::max<ssize_t>(headSize, 0))),
        searchPathFor(user));
    if (!script.interpreter.empty()) {
        m_candidates.addInterpreter(script.interpreter);
    }
    for (WrappedProgram &wrapped : script.wrapped) {
        if (!user && !m_systemFiles.owns(wrapped.program)) {
            continue;
        }
        EntryCandidates::Entry handedOver = m_candidates.entry(index);
        handedOver.program = wrapped.program;
        handedOver.fixedArguments = std::move(wrapped.fixedArguments);
        handedOver.fixedArguments.insert(handedOver.fixedArguments.end(),
                                         command.fixedArguments.begin(),
                                         command.fixedArguments.end());
        const std::size_t addedIndex = m_candidates.add(std::move(handedOver));
        // A wrapper that hands an interpreter a file (`exec python3 /usr/share/app/main.py`)
        // names that file, as an Exec line does, never every process of the interpreter.
        const EntryCandidates::Entry &added = m_candidates.entry(addedIndex);
        if (const std::string file = handedFile(added.fixedArguments); !file.empty()) {
            m_candidates.addCandidate(Key::programFile, added.program + '\n' + file, addedIndex,
                                      user);
            m_candidates.addInterpreter(added.program);
        } else if (added.fixedArguments.empty() || added.fixedArguments.front() != "-c") {
            m_candidates.addCandidate(Key::program, added.program, addedIndex, user);
        }
    }
    // A program in a folder of its own, off the search path, shares it with its helpers; a
    // service's folder holds many services, and a libexec folder the helpers of many packages
    // (GNOME's online accounts' handler beside its terminal's server, say).
    if (const fs::path folder = fs::path(program).parent_path();
        !service && !m_searchFolders.contains(folder.string()) && folder.filename() != "libexec") {
        m_candidates.addCandidate(Key::privateFolder, folder.string(), index, user);
    }
}

} // namespace Qolvi_Desktop_Agent::linux_backend
