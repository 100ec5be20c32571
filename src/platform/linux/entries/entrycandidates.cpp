#include "platform/linux/entries/entrycandidates.h"

#include <algorithm>
#include <tuple>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

bool carries(const std::vector<std::string> &arguments, const std::vector<std::string> &fixed) {
    return std::all_of(fixed.begin(), fixed.end(), [&arguments](const std::string &argument) {
        return std::find(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end(),
                         argument) != arguments.end();
    });
}

// Window classes are compared without regard to case.
std::string classKey(std::string windowClass) {
    std::transform(windowClass.begin(), windowClass.end(), windowClass.begin(),
                   [](unsigned char c) {
                       return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
                   });
    return windowClass;
}

} // namespace

void EntryCandidates::clear() {
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
}

std::size_t EntryCandidates::add(Entry entry, const fs::path &file) {
    const std::size_t index = m_entries.size();
    m_entries.push_back(std::move(entry));
    if (!file.empty()) {
        m_entryByFile.emplace(file.lexically_normal().string(), index);
    }
    return index;
}

const EntryCandidates::Entry *EntryCandidates::systemEntry(const std::string &id) const {
    const auto named = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&id](const Entry &entry) { return entry.id == id; });
    return named == m_entries.end() || named->user ? nullptr : &*named;
}

void EntryCandidates::addCandidate(Key key, const std::string &value, std::size_t entry,
                                   bool user) {
    if (value.empty() || (user && m_systemPrograms.contains(value))) {
        return;
    }
    if (!user) {
        m_systemPrograms.insert(value);
        if (key != Key::privateFolder) {
            m_idsWithProgram.insert(m_entries[entry].id);
        }
    }
    auto &map = key == Key::program       ? m_byProgram
                : key == Key::programFile ? m_byProgramFile
                                          : m_byPrivateFolder;
    Candidates &candidates = map[value];
    if (std::find(candidates.begin(), candidates.end(), entry) == candidates.end()) {
        candidates.push_back(entry);
    }
}

void EntryCandidates::addWindowClass(const std::string &windowClass, const std::string &id) {
    if (!windowClass.empty()) {
        m_idByWindowClass.try_emplace(classKey(windowClass), id);
    }
}

std::string EntryCandidates::choose(const Candidates &candidates, const ProgramQuestion &question,
                                    Tier tier) const {
    const std::string name = fs::path(question.executable).filename().string();
    const auto rank = [&](std::size_t index) {
        const Entry &entry = m_entries[index];
        const bool carried = carries(question.arguments, entry.fixedArguments);
        const bool endsInName =
            !name.empty() && entry.id.size() >= name.size() &&
            entry.id.compare(entry.id.size() - name.size(), name.size(), name) == 0;
        return std::make_tuple(carried, carried ? entry.fixedArguments.size() : 0,
                               entry.shownInMenus, endsInName);
    };
    const Entry *best = nullptr;
    decltype(rank(0)) bestRank{};
    for (const std::size_t index : candidates) {
        const Entry &entry = m_entries[index];
        if (entry.user != (tier == Tier::user)) {
            continue;
        }
        const auto entryRank = rank(index);
        if (best == nullptr || entryRank > bestRank ||
            (entryRank == bestRank && entry.id < best->id)) {
            best = &entry;
            bestRank = entryRank;
        }
    }
    return best != nullptr ? best->id : std::string();
}

namespace {

// The folder of an absolute path the kernel or the index resolved, asked of every process of a
// scan: without the general path parsing of a path object.
std::string folderOf(const std::string &executable) {
    const std::size_t slash = executable.rfind('/');
    return slash == std::string::npos ? std::string()
                                      : executable.substr(0, slash == 0 ? 1 : slash);
}

} // namespace

const EntryCandidates::Candidates *
EntryCandidates::candidatesFor(const std::string &executable) const {
    if (executable.empty()) {
        return nullptr;
    }
    if (const auto found = m_byProgram.find(executable); found != m_byProgram.end()) {
        return &found->second;
    }
    const auto folder = m_byPrivateFolder.find(folderOf(executable));
    return folder != m_byPrivateFolder.end() ? &folder->second : nullptr;
}

std::string EntryCandidates::idForProgram(const ProgramQuestion &question, Tier tier) const {
    const Candidates *candidates = candidatesFor(question.executable);
    return candidates != nullptr ? choose(*candidates, question, tier) : std::string();
}

bool EntryCandidates::needsArguments(const std::string &executable) const {
    const Candidates *candidates = candidatesFor(executable);
    return candidates != nullptr && candidates->size() > 1;
}

bool EntryCandidates::isHelper(const std::string &executable) const {
    return !m_byProgram.contains(executable) && m_byPrivateFolder.contains(folderOf(executable));
}

std::string EntryCandidates::idForProgramFile(const std::string &program, const std::string &file,
                                              Tier tier) const {
    const auto found = m_byProgramFile.find(program + '\n' + file);
    return found != m_byProgramFile.end()
               ? choose(found->second, ProgramQuestion{program, {}}, tier)
               : std::string();
}

std::string EntryCandidates::idForWindowClass(const std::string &windowClass) const {
    const auto found = m_idByWindowClass.find(classKey(windowClass));
    return found != m_idByWindowClass.end() ? found->second : std::string();
}

std::string EntryCandidates::idForEntryFile(const fs::path &file) const {
    const auto found = m_entryByFile.find(file.lexically_normal().string());
    return found != m_entryByFile.end() ? m_entries[found->second].id : std::string();
}

} // namespace Qolvi_Desktop_Agent::linux_backend
