#include "platform/linux/process/programscript.h"

#include "platform/linux/entries/desktopentry.h"
#include "platform/linux/process/shellwrapper.h"

#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t scriptBytesLimit = std::size_t{64} * 1024;

// The canonical interpreter of a script's "#!" line (through "env" too), or "".
std::string interpreterOf(const std::string &start, const std::vector<fs::path> &searchPath) {
    if (start.size() < 3 || start[0] != '#' || start[1] != '!') {
        return {};
    }
    const std::vector<std::string> line = shellWords(start.substr(2, start.find('\n') - 2));
    if (line.empty()) {
        return {};
    }
    if (fs::path(line[0]).filename() != "env") {
        return resolveProgram(line[0], searchPath);
    }
    for (std::size_t index = 1; index < line.size(); ++index) {
        if (line[index].front() != '-' && line[index].find('=') == std::string::npos) {
            return resolveProgram(line[index], searchPath);
        }
    }
    return {};
}
} // namespace

const std::string *firstOperand(const std::vector<std::string> &arguments, std::size_t from,
                                std::string_view program) {
    // Options that take the next word as their value: the dynamic loader's (its --argv0 names
    // what the program is told it is, not what runs), and the interpreters' (Python's -W and
    // -X, the shells' -o, GJS's include path, Java's class path), whose values are no program.
    static const std::unordered_set<std::string_view> takesValue{
        // The dynamic loader's.
        "--argv0", "--library-path", "--preload", "--audit", "--inhibit-rpath",
        "--glibc-hwcaps-prepend", "--glibc-hwcaps-mask",
        // Python's, the shells', GJS's, Java's.
        "-W", "-X", "--check-hash-based-pycs", "-o", "+o", "-O", "+O", "--rcfile", "--init-file",
        "-I", "--include-path", "--coverage-prefix", "--coverage-output", "-cp", "-classpath",
        "--class-path", "--module-path"};
    // Python's -I is a flag, GJS's the include path.
    const bool python = fs::path(program).filename().string().starts_with("python");
    for (std::size_t index = from; index < arguments.size(); ++index) {
        const std::string &argument = arguments[index];
        if (argument == "--") {
            return index + 1 < arguments.size() ? &arguments[index + 1] : nullptr;
        }
        // A command given inline, or a module found on the interpreter's own path, is no file.
        if (argument == "-c" || (argument == "-m" && index + 1 < arguments.size() &&
                                 arguments[index + 1].find('/') == std::string::npos)) {
            return nullptr;
        }
        if (takesValue.contains(argument) && !(python && argument == "-I")) {
            ++index;
        } else if (!argument.empty() && argument.front() != '-' && argument.front() != '+') {
            return &argument;
        }
    }
    return nullptr;
}

namespace {

// Folders by their canonical paths: an index names hundreds of programs in a few folders, and
// resolving each folder's links again for each program costs more than the rest of its build.
std::unordered_map<std::string, std::string> &canonicalFolders() {
    thread_local std::unordered_map<std::string, std::string> folders;
    return folders;
}

std::string canonicalFile(const fs::path &path) {
    std::error_code error;
    const std::string folder = path.parent_path().string();
    auto found = canonicalFolders().find(folder);
    if (found == canonicalFolders().end()) {
        fs::path canonical = fs::canonical(folder, error);
        if (error) {
            return {};
        }
        found = canonicalFolders().emplace(folder, canonical.string()).first;
    }
    const fs::path candidate = fs::path(found->second) / path.filename();
    struct stat info {};
    if (::lstat(candidate.c_str(), &info) != 0) {
        return {};
    }
    if (!S_ISLNK(info.st_mode)) {
        return candidate.string();
    }
    fs::path canonical = fs::canonical(candidate, error);
    return error ? std::string() : canonical.string();
}

} // namespace

void forgetResolvedFolders() {
    canonicalFolders().clear();
}

std::string resolveProgram(const std::string &program, const std::vector<fs::path> &searchPath) {
    std::error_code error;
    if (program.empty()) {
        return {};
    }
    if (program.find('/') != std::string::npos) {
        return canonicalFile(fs::path(program).lexically_normal());
    }
    for (const fs::path &dir : searchPath) {
        const std::string candidate = canonicalFile(dir / program);
        if (!candidate.empty() && fs::is_regular_file(candidate, error) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

std::string scriptInterpreter(const fs::path &script, const std::vector<fs::path> &searchPath) {
    return interpreterOf(readFileStart(script, 256), searchPath);
}

ProgramScript readProgramScript(const fs::path &program, std::string_view head,
                                const std::vector<fs::path> &searchPath) {
    // Most programs are no scripts: their first bytes say so, and nothing more is read.
    ProgramScript script;
    script.interpreter = interpreterOf(std::string(head), searchPath);
    const std::string name = fs::path(script.interpreter).filename();
    if (name != "sh" && name != "bash" && name != "dash") {
        return script;
    }
    script.wrapped = wrappedPrograms(readFileStart(program, scriptBytesLimit), searchPath);
    return script;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
