#include "desktopentryindex.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

const std::string noId;

struct DesktopEntry {
    std::string type;
    std::string exec;
    std::string tryExec;
    bool hidden = false;
    bool terminal = false;
};

DesktopEntry readDesktopEntry(const fs::path &file) {
    DesktopEntry entry;
    std::ifstream stream(file);
    std::string line;
    bool inMainGroup = false;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (inMainGroup) {
                break;
            }
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ') {
            key.pop_back();
        }
        std::string value = line.substr(equals + 1);
        value.erase(0, value.find_first_not_of(' '));
        if (key == "Type") {
            entry.type = value;
        } else if (key == "Exec") {
            entry.exec = value;
        } else if (key == "TryExec") {
            entry.tryExec = value;
        } else if (key == "Hidden") {
            entry.hidden = value == "true";
        } else if (key == "Terminal") {
            entry.terminal = value == "true";
        }
    }
    return entry;
}

std::vector<std::string> splitExecWords(const std::string &exec) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size()) {
                word += exec[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == '"') {
            quoted = true;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

fs::path canonicalOrEmpty(const fs::path &path) {
    std::error_code error;
    fs::path canonical = fs::canonical(path, error);
    return error ? fs::path() : canonical;
}

} // namespace

std::string execProgram(const std::string &exec) {
    const std::vector<std::string> words = splitExecWords(exec);
    std::size_t index = 0;
    if (index < words.size() && (words[index] == "env" || words[index] == "/usr/bin/env")) {
        ++index;
        while (index < words.size() && words[index].find('=') != std::string::npos) {
            ++index;
        }
    }
    return index < words.size() ? words[index] : std::string();
}

DesktopEntryIndex::DesktopEntryIndex(const std::vector<fs::path> &dataDirs,
                                     std::vector<fs::path> searchPath)
    : m_searchPath(std::move(searchPath)) {
    for (const fs::path &dir : dataDirs) {
        m_applicationFolders.push_back(dir / "applications");
    }
}

const std::string &DesktopEntryIndex::idForExecutable(const std::string &executable) const {
    const auto found = m_idByExecutable.find(executable);
    return found == m_idByExecutable.end() ? noId : found->second;
}

std::vector<fs::file_time_type> DesktopEntryIndex::folderTimes() const {
    std::vector<fs::file_time_type> times;
    times.reserve(m_applicationFolders.size());
    for (const fs::path &folder : m_applicationFolders) {
        std::error_code error;
        const fs::file_time_type time = fs::last_write_time(folder, error);
        times.push_back(error ? fs::file_time_type::min() : time);
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
    m_seenIds.clear();
    m_idByExecutable.clear();
    for (const fs::path &folder : m_applicationFolders) {
        addFolder(folder);
    }
}

void DesktopEntryIndex::addFolder(const fs::path &applications) {
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
        // A folder earlier in the precedence order hides the same ID in a later one.
        if (m_seenIds.insert(id).second) {
            addEntry(file, id);
        }
    }
}

void DesktopEntryIndex::addEntry(const fs::path &file, const std::string &desktopId) {
    const DesktopEntry entry = readDesktopEntry(file);
    // A hidden entry counts as deleted. A terminal program is not an application of the
    // desktop: its entry would name every process of that interpreter or tool the user runs.
    if (entry.hidden || entry.terminal || (!entry.type.empty() && entry.type != "Application")) {
        return;
    }
    for (const std::string &program : {entry.tryExec, execProgram(entry.exec)}) {
        if (program.empty()) {
            continue;
        }
        const std::string executable = resolveProgram(program);
        if (!executable.empty()) {
            m_idByExecutable.emplace(executable, desktopId);
        }
    }
}

std::string DesktopEntryIndex::resolveProgram(const std::string &program) const {
    if (program.find('/') != std::string::npos) {
        return canonicalOrEmpty(program).string();
    }
    for (const fs::path &dir : m_searchPath) {
        const fs::path candidate = canonicalOrEmpty(dir / program);
        if (!candidate.empty() && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return {};
}

} // namespace Qolvi_Desktop_Agent::linux_backend
