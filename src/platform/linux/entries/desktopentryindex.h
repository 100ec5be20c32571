#pragma once

#include "platform/linux/entries/desktopentry.h"
#include "platform/linux/entries/entrycandidates.h"
#include "platform/linux/entries/systemfiles.h"
#include "platform/linux/process/fingerprintcache.h"
#include "platform/linux/process/programcopies.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// The installed desktop applications by the programs they run, over the applications folders
// of the XDG data directories. System entries come first: an entry in a folder of the user's
// own names only programs that no system entry names, and never hides a system entry.
class DesktopEntryIndex {
public:
    // The first `userDataDirs` data folders, any inside `home`, and any that is not the
    // system's (systemFiles.h) are the user's own.
    DesktopEntryIndex(const std::vector<std::filesystem::path> &dataDirs,
                      std::vector<std::filesystem::path> searchPath, std::size_t userDataDirs = 0,
                      std::filesystem::path home = {}, uid_t systemOwner = 0);

    // Rebuilds the index when an applications or D-Bus services folder changed since the last
    // build.
    void rebuildIfChanged();

    // The desktop ID that runs this program: as its Exec or TryExec program, as the program its
    // wrapper script execs, as the D-Bus service of the same name, or from the private folder
    // of an entry's program. Among several, the one whose fixed arguments the command line
    // carries, then one shown in menus, then one whose ID ends in the program's name.
    // The system's entries are asked first; the user's only when nothing else names a process.
    using Tier = EntryCandidates::Tier;
    [[nodiscard]] std::string idForProgram(const ProgramQuestion &question, Tier tier) const {
        return m_candidates.idForProgram(question, tier);
    }
    // Whether the choice among entries for this program depends on the command line.
    [[nodiscard]] bool needsArguments(const std::string &executable) const {
        return m_candidates.needsArguments(executable);
    }
    // Whether no entry runs this program itself and it is named only as a helper beside an
    // entry's program (a crash reporter, say): it belongs to an instance of that application.
    [[nodiscard]] bool isHelper(const std::string &executable) const {
        return m_candidates.isHelper(executable);
    }
    // The desktop ID of an entry that runs this file with this program ("java -jar FILE").
    [[nodiscard]] std::string idForProgramFile(const std::string &program, const std::string &file,
                                               Tier tier) const {
        return m_candidates.idForProgramFile(program, file, tier);
    }
    // Whether some entry's program is a script this interpreter runs, or a file it is given:
    // only then does the interpreter's command line say more than its executable.
    [[nodiscard]] bool isInterpreter(const std::string &executable) const {
        return m_candidates.isInterpreter(executable);
    }
    // The desktop ID whose program the file with this key is a copy of, or "". `open` opens the
    // file again when its code must be compared.
    [[nodiscard]] std::string idForCopy(const FileKey &key, const std::function<int()> &open) {
        return m_copies.idFor(key, open, m_fingerprints);
    }
    // Every program file's fingerprint, read once: the entries' programs and the processes'.
    [[nodiscard]] FingerprintCache &fingerprints() { return m_fingerprints; }
    // Whether a system entry of this desktop ID names a program file: a process that runs
    // another file is not that application, whatever else names it so.
    [[nodiscard]] bool hasProgram(const std::string &id) const {
        return m_candidates.hasProgram(id);
    }
    [[nodiscard]] SystemFiles &systemFiles() { return m_systemFiles; }
    // Whether a system entry has this desktop ID.
    [[nodiscard]] bool isSystemId(const std::string &id) const {
        return m_candidates.isSystemId(id);
    }
    // The system entry whose StartupWMClass or ID a window class is, compared without regard to
    // case as desktops compare them, or "".
    [[nodiscard]] std::string idForWindowClass(const std::string &windowClass) const {
        return m_candidates.idForWindowClass(windowClass);
    }
    // The desktop ID of the entry file at this path when it is one of the index's, or "".
    [[nodiscard]] std::string idForEntryFile(const std::filesystem::path &file) const {
        return m_candidates.idForEntryFile(file);
    }

private:
    void rebuild();
    void addFolder(const std::filesystem::path &applications, bool user);
    void addEntry(const std::filesystem::path &file, std::string desktopId, bool user);
    void addServices(const std::filesystem::path &services);
    // What an Exec line names: its program, or the script or file it hands an interpreter.
    void addCommand(std::size_t entry, const ExecCommand &command, bool user, bool service);
    [[nodiscard]] std::vector<std::filesystem::file_time_type> folderTimes() const;
    [[nodiscard]] bool isUserFolder(const std::filesystem::path &folder);
    // Where a system entry's program is looked for: the search path's folders that are the
    // system's.
    [[nodiscard]] const std::vector<std::filesystem::path> &searchPathFor(bool user) const {
        return user ? m_searchPath : m_systemSearchPath;
    }

    std::vector<std::filesystem::path> m_dataDirs;
    std::vector<std::filesystem::path> m_searchPath;
    std::vector<std::filesystem::path> m_systemSearchPath;
    SystemFiles m_systemFiles;
    std::unordered_set<std::string> m_searchFolders; // canonical
    std::size_t m_userDataDirs;
    std::filesystem::path m_home;
    std::vector<std::filesystem::file_time_type> m_builtFromTimes;
    bool m_built = false;

    EntryCandidates m_candidates;
    FingerprintCache m_fingerprints;
    // The files of the programs read while building, for the copies to find them by.
    std::unordered_map<std::string, std::optional<FileKey>> m_programKeys;
    ProgramCopies m_copies;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
