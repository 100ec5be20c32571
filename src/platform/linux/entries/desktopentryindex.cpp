#include "platform/linux/entries/desktopentryindex.h"

#include "platform/linux/process/programscript.h"

#include <algorithm>
#include <system_error>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

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
    m_entries.clear();
    m_systemIds.clear();
    m_idsWithProgram.clear();
    m_entryByFile.clear();
    m_byProgram.clear();
    m_byProgramFile.clear();
    m_byPrivateFolder.clear();
    m_systemPrograms.clear();
    m_interpreters.clear();
    m_idByWindowClass.clear();
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
    for (const auto &[program, candidates] : m_byProgram) {
        if (const std::string id = choose(candidates, ProgramQuestion{program, {}}, Tier::system);
            !id.empty()) {
            const auto read = m_programKeys.find(program);
            m_copies.add(program, id,
                         read != m_programKeys.end() ? read->second : std::optional<FileKey>());
        }
    }
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
        if (!m_systemIds.contains(id)) {
            if (!user) {
                m_systemIds.insert(id);
            }
            addEntry(file, std::move(id), user);
        }
    }
}

void DesktopEntryIndex::addCandidate(std::unordered_map<std::string, Candidates> &map,
                                     const std::string &key, std::size_t entry, bool user) {
    if (key.empty() || (user && m_systemPrograms.contains(key))) {
        return;
    }
    if (!user) {
        m_systemPrograms.insert(key);
        if (&map != &m_byPrivateFolder) {
            m_idsWithProgram.insert(m_entries[entry].id);
        }
    }
    Candidates &candidates = map[key];
    if (std::find(candidates.begin(), candidates.end(), entry) == candidates.end()) {
        candidates.push_back(entry);
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
        const auto named = std::find_if(m_entries.begin(), m_entries.end(),
                                        [&name](const Entry &entry) { return entry.id == name; });
        if (name.empty() || named == m_entries.end() || named->user) {
            continue;
        }
        Entry server = *named;
        server.fixedArguments.clear();
        m_entries.push_back(std::move(server));
        addCommand(m_entries.size() - 1, parseExec(exec), false, true);
    }
}

} // namespace Qolvi_Desktop_Agent::linux_backend
