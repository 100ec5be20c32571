#include "desktopentryindex.h"

#include "desktopentry.h"
#include "programfingerprint.h"
#include "programscript.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <tuple>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

bool startsWith(const fs::path &path, const fs::path &prefix) {
    if (prefix.empty()) {
        return false;
    }
    const auto mismatch = std::mismatch(prefix.begin(), prefix.end(), path.begin(), path.end());
    return mismatch.first == prefix.end();
}

bool carries(const std::vector<std::string> &arguments, const std::vector<std::string> &fixed) {
    return std::all_of(fixed.begin(), fixed.end(), [&arguments](const std::string &argument) {
        return std::find(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end(),
                         argument) != arguments.end();
    });
}

// A file that an interpreter or a virtual machine runs, named by an entry's first operand
// ("python3 /usr/share/app/main.py", "java -jar /usr/share/app/app.jar"); a data file the
// program opens is none.
bool isRunnableFile(const std::string &path) {
    static constexpr std::string_view extensions[] = {".jar", ".py",  ".pl",  ".rb",
                                                      ".js",  ".lua", ".tcl", ".sh"};
    std::error_code error;
    if (path.empty() || path.front() != '/' || !fs::is_regular_file(path, error)) {
        return false;
    }
    const std::string extension = fs::path(path).extension().string();
    return std::find(std::begin(extensions), std::end(extensions), extension) !=
           std::end(extensions);
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

// "org.example.App": an application ID of its own, which the platform reports as given. Like
// a D-Bus name, at least three elements, none empty or starting with a digit ("Gimp-2.10" is
// no ID).
bool isReverseDns(std::string_view id) {
    std::size_t elements = 0;
    std::size_t start = 0;
    while (start <= id.size()) {
        const std::size_t dot = std::min(id.find('.', start), id.size());
        const std::string_view element = id.substr(start, dot - start);
        if (element.empty() || (element.front() >= '0' && element.front() <= '9') ||
            !std::all_of(element.begin(), element.end(), [](char c) {
                return c == '_' || c == '-' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9');
            })) {
            return false;
        }
        ++elements;
        start = dot + 1;
    }
    return elements >= 3;
}

// Name=, Exec= of a D-Bus service file.
std::pair<std::string, std::string> readService(const fs::path &file) {
    std::ifstream stream(file);
    std::string line;
    std::string name;
    std::string exec;
    while (std::getline(stream, line)) {
        if (line.rfind("Name=", 0) == 0) {
            name = line.substr(5);
        } else if (line.rfind("Exec=", 0) == 0) {
            exec = line.substr(5);
        }
    }
    return {name, exec};
}

} // namespace

DesktopEntryIndex::DesktopEntryIndex(const std::vector<fs::path> &dataDirs,
                                     std::vector<fs::path> searchPath, std::size_t userDataDirs,
                                     fs::path home)
    : m_dataDirs(dataDirs)
    , m_searchPath(std::move(searchPath))
    , m_userDataDirs(userDataDirs)
    , m_home(std::move(home)) {}

bool DesktopEntryIndex::isUserFolder(const fs::path &folder) const {
    const auto firstSystem = m_dataDirs.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(m_userDataDirs, m_dataDirs.size()));
    return std::find(m_dataDirs.begin(), firstSystem, folder) != firstSystem ||
           startsWith(folder, m_home);
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
    m_entryByFile.clear();
    m_byProgram.clear();
    m_byProgramFile.clear();
    m_byPrivateFolder.clear();
    m_systemPrograms.clear();
    m_interpreters.clear();
    m_idByFingerprint.clear();
    m_idByWindowClass.clear();
    m_fingerprinted = false;
    m_searchFolders.clear();
    for (const fs::path &dir : m_searchPath) {
        std::error_code error;
        if (fs::path canonical = fs::canonical(dir, error); !error) {
            m_searchFolders.insert(canonical.string());
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
    }
    Candidates &candidates = map[key];
    if (std::find(candidates.begin(), candidates.end(), entry) == candidates.end()) {
        candidates.push_back(entry);
    }
}

void DesktopEntryIndex::addEntry(const fs::path &file, std::string desktopId, bool user) {
    const DesktopEntry entry = readDesktopEntry(file);
    // A hidden entry counts as deleted. A terminal program is not an application of the
    // desktop: its entry would name every process of that interpreter or tool the user runs.
    if (entry.hidden || entry.terminal || (!entry.type.empty() && entry.type != "Application")) {
        return;
    }
    const ExecCommand command = parseExec(entry.exec);
    const std::string program = resolveProgram(command.program, m_searchPath);
    const std::size_t index = m_entries.size();
    if (!user) {
        // The class a window manager matches to the entry, and its ID, as desktops do.
        for (const std::string &windowClass : {entry.startupWmClass, desktopId}) {
            if (!windowClass.empty()) {
                m_idByWindowClass.try_emplace(lowerCase(windowClass), desktopId);
            }
        }
    }
    m_entries.push_back(
        {std::move(desktopId), program, command.fixedArguments, !entry.noDisplay, user});
    m_entryByFile.emplace(fs::path(file).lexically_normal().string(), index);
    if (program.empty()) {
        return;
    }
    // "java -jar FILE" names FILE, and "sh -c ..." a command line: neither names the program.
    if (const std::string *operand = firstOperand(command.fixedArguments, 0);
        operand != nullptr && isRunnableFile(*operand)) {
        addCandidate(m_byProgramFile, program + '\n' + fs::canonical(*operand).string(), index,
                     user);
        m_interpreters.insert(program);
        return;
    }
    if (!command.fixedArguments.empty() && command.fixedArguments.front() == "-c") {
        return;
    }
    addCandidate(m_byProgram, program, index, user);
    if (const std::string tryProgram = resolveProgram(entry.tryExec, m_searchPath);
        !tryProgram.empty() && tryProgram != program) {
        addCandidate(m_byProgram, tryProgram, index, user);
    }
    if (const std::string interpreter = scriptInterpreter(program, m_searchPath);
        !interpreter.empty()) {
        m_interpreters.insert(interpreter);
    }
    for (WrappedProgram &wrapped : wrappedPrograms(program, m_searchPath)) {
        Entry handedOver = m_entries[index];
        handedOver.program = wrapped.program;
        handedOver.fixedArguments = std::move(wrapped.fixedArguments);
        handedOver.fixedArguments.insert(handedOver.fixedArguments.end(),
                                         command.fixedArguments.begin(),
                                         command.fixedArguments.end());
        m_entries.push_back(std::move(handedOver));
        addCandidate(m_byProgram, wrapped.program, m_entries.size() - 1, user);
    }
    // A program in a folder of its own, off the search path, shares it with its helpers.
    if (const std::string folder = fs::path(program).parent_path().string();
        !m_searchFolders.contains(folder)) {
        addCandidate(m_byPrivateFolder, folder, index, user);
    }
}

void DesktopEntryIndex::addServices(const fs::path &services) {
    std::error_code error;
    for (fs::directory_iterator it(services, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().extension() != ".service") {
            continue;
        }
        const auto service = readService(it->path());
        const std::string &name = service.first;
        const std::string &exec = service.second;
        const auto named = std::find_if(m_entries.begin(), m_entries.end(),
                                        [&name](const Entry &entry) { return entry.id == name; });
        if (name.empty() || named == m_entries.end() || named->user) {
            continue;
        }
        const std::string program = resolveProgram(parseExec(exec).program, m_searchPath);
        Entry server = *named;
        server.program = program;
        server.fixedArguments.clear();
        m_entries.push_back(std::move(server));
        addCandidate(m_byProgram, program, m_entries.size() - 1, false);
    }
}

std::string DesktopEntryIndex::choose(const Candidates &candidates, const ProgramQuestion &question,
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

const DesktopEntryIndex::Candidates *
DesktopEntryIndex::candidatesFor(const std::string &executable) const {
    if (executable.empty()) {
        return nullptr;
    }
    if (const auto found = m_byProgram.find(executable); found != m_byProgram.end()) {
        return &found->second;
    }
    const auto folder = m_byPrivateFolder.find(fs::path(executable).parent_path().string());
    return folder != m_byPrivateFolder.end() ? &folder->second : nullptr;
}

std::string DesktopEntryIndex::idForProgram(const ProgramQuestion &question, Tier tier) const {
    const Candidates *candidates = candidatesFor(question.executable);
    return candidates != nullptr ? choose(*candidates, question, tier) : std::string();
}

bool DesktopEntryIndex::needsArguments(const std::string &executable) const {
    const Candidates *candidates = candidatesFor(executable);
    return candidates != nullptr && candidates->size() > 1;
}

std::string DesktopEntryIndex::idForProgramFile(const std::string &program, const std::string &file,
                                                Tier tier) const {
    const auto found = m_byProgramFile.find(program + '\n' + file);
    return found != m_byProgramFile.end()
               ? choose(found->second, ProgramQuestion{program, {}}, tier)
               : std::string();
}

std::string DesktopEntryIndex::idForFingerprint(const std::string &fingerprint) {
    // Computed when a copy is first asked about, not for every scan that needs none.
    if (!m_fingerprinted) {
        m_fingerprinted = true;
        for (const auto &[program, candidates] : m_byProgram) {
            std::string own = fileFingerprint(program);
            if (!own.empty() && !m_entries[candidates.front()].user) {
                m_idByFingerprint.emplace(
                    std::move(own), choose(candidates, ProgramQuestion{program, {}}, Tier::system));
            }
        }
    }
    const auto found = m_idByFingerprint.find(fingerprint);
    return found != m_idByFingerprint.end() ? found->second : std::string();
}

std::string DesktopEntryIndex::idForWindow(const WindowIdentity &window) const {
    std::string kde = window.kdeDesktopFile;
    if (kde.ends_with(".desktop")) {
        kde.resize(kde.size() - 8);
    }
    for (const std::string &id : {window.gtkApplicationId, kde}) {
        if (!id.empty() && (m_systemIds.contains(id) || isReverseDns(id))) {
            return id;
        }
    }
    for (const std::string &windowClass : {window.wmClass, window.wmInstance}) {
        if (windowClass.empty()) {
            continue;
        }
        if (const auto found = m_idByWindowClass.find(lowerCase(windowClass));
            found != m_idByWindowClass.end()) {
            return found->second;
        }
        if (isReverseDns(windowClass)) {
            return windowClass;
        }
    }
    return {};
}

std::string DesktopEntryIndex::idForEntryFile(const fs::path &file) const {
    const auto found = m_entryByFile.find(file.lexically_normal().string());
    return found != m_entryByFile.end() ? m_entries[found->second].id : std::string();
}

} // namespace Qolvi_Desktop_Agent::linux_backend
