#include "platform/linux/process/programscript.h"

#include "platform/linux/entries/desktopentry.h"

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

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> result;
    std::string word;
    bool inWord = false;
    char quote = '\0';
    for (const char c : text) {
        if (quote != '\0') {
            if (c == quote) {
                quote = '\0';
            } else {
                word += c;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) {
                result.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else if (c == ';' || c == '&' || c == '|' || c == '#') {
            break;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        result.push_back(std::move(word));
    }
    return result;
}

bool isName(std::string_view text) {
    if (text.empty() || (text[0] >= '0' && text[0] <= '9')) {
        return false;
    }
    for (const char c : text) {
        if (!(c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              (c >= '0' && c <= '9'))) {
            return false;
        }
    }
    return true;
}

using Variables = std::unordered_map<std::string, std::string>;

// Expands $NAME, ${NAME} and ${NAME<op>default} (op one of = := - :-); none when the word
// depends on a variable the script never set plainly, or on a command's output.
std::optional<std::string> expand(std::string_view word, Variables &variables) {
    std::string result;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] == '`' || (word[i] == '$' && i + 1 < word.size() && word[i + 1] == '(')) {
            return std::nullopt;
        }
        if (word[i] != '$') {
            result += word[i];
            continue;
        }
        std::string name;
        std::optional<std::string> fallback;
        bool assigns = false;
        if (i + 1 < word.size() && word[i + 1] == '{') {
            const std::size_t close = word.find('}', i + 2);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            const std::string_view inside = word.substr(i + 2, close - i - 2);
            const std::size_t op = inside.find_first_of(":=-");
            name = std::string(inside.substr(0, op));
            if (op != std::string_view::npos) {
                std::size_t valueStart = op + 1;
                if (inside[op] == ':' && valueStart < inside.size()) {
                    assigns = inside[valueStart] == '=';
                    ++valueStart;
                } else {
                    assigns = inside[op] == '=';
                }
                fallback = std::string(inside.substr(valueStart));
            }
            i = close;
        } else {
            std::size_t end = i + 1;
            while (end < word.size() && isName(word.substr(i + 1, end - i))) {
                ++end;
            }
            name = std::string(word.substr(i + 1, end - i - 1));
            i = end - 1;
        }
        if (!isName(name)) {
            return std::nullopt;
        }
        const auto found = variables.find(name);
        if (found != variables.end()) {
            result += found->second;
        } else if (fallback) {
            if (assigns) {
                variables[name] = *fallback;
            }
            result += *fallback;
        } else {
            return std::nullopt;
        }
    }
    return result;
}

// The canonical interpreter of a script's "#!" line (through "env" too), or "".
std::string interpreterOf(const std::string &start, const std::vector<fs::path> &searchPath) {
    if (start.size() < 3 || start[0] != '#' || start[1] != '!') {
        return {};
    }
    const std::vector<std::string> line = words(start.substr(2, start.find('\n') - 2));
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

std::vector<WrappedProgram> wrappedPrograms(const std::string &text,
                                            const std::vector<fs::path> &searchPath);

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

namespace {

// What a shell script's text execs.
std::vector<WrappedProgram> wrappedPrograms(const std::string &text,
                                            const std::vector<fs::path> &searchPath) {
    Variables variables;
    std::vector<WrappedProgram> programs;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        const std::size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
        std::vector<std::string> line =
            words(std::string_view(text).substr(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;
        if (!line.empty() && line[0] == "export") {
            line.erase(line.begin());
        }
        if (line.empty()) {
            continue;
        }
        if (const std::size_t equals = line[0].find('=');
            equals != std::string::npos && isName(std::string_view(line[0]).substr(0, equals))) {
            if (auto value = expand(std::string_view(line[0]).substr(equals + 1), variables)) {
                variables[line[0].substr(0, equals)] = std::move(*value);
            }
            continue;
        }
        if (line[0] == ":") {
            for (std::size_t index = 1; index < line.size(); ++index) {
                (void)expand(line[index], variables);
            }
            continue;
        }
        if (line[0] != "exec" || line.size() < 2 || line[1].front() == '>' ||
            (line[1].front() >= '0' && line[1].front() <= '9')) {
            continue;
        }
        const auto program = expand(line[1], variables);
        const std::string resolved = program ? resolveProgram(*program, searchPath) : std::string();
        if (resolved.empty()) {
            continue;
        }
        WrappedProgram wrapped{resolved, {}};
        for (std::size_t index = 2; index < line.size(); ++index) {
            if (line[index] == "$@" || line[index] == "$*") {
                continue;
            }
            // A variable that holds several words is split by the shell: no one argument.
            if (auto argument = expand(line[index], variables);
                argument && argument->find_first_of(" \t") == std::string::npos) {
                wrapped.fixedArguments.push_back(std::move(*argument));
            }
        }
        programs.push_back(std::move(wrapped));
    }
    return programs;
}

} // namespace

} // namespace Qolvi_Desktop_Agent::linux_backend
