#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// A process as the index is asked about it.
struct ProgramQuestion {
    std::string executable;             // canonical path of what runs, or ""
    std::vector<std::string> arguments; // the command line, the program first
};

// The entries the index read, each under the programs, program files and private folders it
// names, and which of them names a process among those that run its program.
class EntryCandidates {
public:
    // The system's entries are asked first; the user's only when nothing else names a process.
    enum class Tier { system, user };
    struct Entry {
        std::string id;
        std::string program; // canonical
        std::vector<std::string> fixedArguments;
        bool shownInMenus = true;
        bool user = false;
    };
    // What an entry is found by: its program, the file its command hands its program ("java
    // -jar FILE", keyed "program\nfile"), or the private folder of its program.
    enum class Key { program, programFile, privateFolder };

    void clear();
    // Adds an entry under none of its keys yet; its index.
    std::size_t add(Entry entry, const std::filesystem::path &file = {});
    [[nodiscard]] Entry &entry(std::size_t index) { return m_entries[index]; }
    [[nodiscard]] std::size_t size() const { return m_entries.size(); }
    // The system entry of this ID, if any.
    [[nodiscard]] const Entry *systemEntry(const std::string &id) const;
    // Files an entry under a key; a user's entry never under a key of the system's.
    void addCandidate(Key key, const std::string &value, std::size_t entry, bool user);
    // A window class a system entry has, compared without regard to case; the first stays.
    void addWindowClass(const std::string &windowClass, const std::string &id);
    // Takes a desktop ID for a system entry; false when a system entry has it already.
    bool takeSystemId(const std::string &id) { return m_systemIds.insert(id).second; }
    [[nodiscard]] bool isSystemId(const std::string &id) const { return m_systemIds.contains(id); }
    void addInterpreter(const std::string &program) { m_interpreters.insert(program); }
    // Each program with the system entries that run it, for the copies to be found by.
    template <typename Visit>
    void forEachSystemProgram(const Visit &visit) const {
        for (const auto &[program, candidates] : m_byProgram) {
            if (std::string id = choose(candidates, ProgramQuestion{program, {}}, Tier::system);
                !id.empty()) {
                visit(program, id);
            }
        }
    }

    [[nodiscard]] std::string idForProgram(const ProgramQuestion &question, Tier tier) const;
    [[nodiscard]] bool needsArguments(const std::string &executable) const;
    [[nodiscard]] bool isHelper(const std::string &executable) const;
    [[nodiscard]] std::string idForProgramFile(const std::string &program, const std::string &file,
                                               Tier tier) const;
    [[nodiscard]] bool isInterpreter(const std::string &executable) const {
        return m_interpreters.contains(executable);
    }
    [[nodiscard]] bool hasProgram(const std::string &id) const {
        return m_idsWithProgram.contains(id);
    }
    [[nodiscard]] std::string idForWindowClass(const std::string &windowClass) const;
    [[nodiscard]] std::string idForEntryFile(const std::filesystem::path &file) const;

private:
    using Candidates = std::vector<std::size_t>; // indexes into m_entries

    // Among several, the one whose fixed arguments the command line carries, then one shown
    // in menus, then one whose ID ends in the program's name.
    [[nodiscard]] std::string choose(const Candidates &candidates, const ProgramQuestion &question,
                                     Tier tier) const;
    [[nodiscard]] const Candidates *candidatesFor(const std::string &executable) const;

    std::vector<Entry> m_entries;
    std::unordered_set<std::string> m_systemIds;
    std::unordered_set<std::string> m_idsWithProgram;
    std::unordered_map<std::string, std::size_t> m_entryByFile;
    std::unordered_map<std::string, Candidates> m_byProgram;
    std::unordered_map<std::string, Candidates> m_byProgramFile;
    std::unordered_map<std::string, Candidates> m_byPrivateFolder;
    std::unordered_set<std::string> m_systemPrograms;
    std::unordered_set<std::string> m_interpreters;
    std::unordered_map<std::string, std::string> m_idByWindowClass; // lower-cased
};

} // namespace Qolvi_Desktop_Agent::linux_backend
