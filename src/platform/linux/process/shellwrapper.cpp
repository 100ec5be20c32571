#include "platform/linux/process/shellwrapper.h"

#include "platform/linux/process/programscript.h"

#include <optional>
#include <unordered_map>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

std::vector<std::string> shellWords(std::string_view text) {
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

namespace {

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
} // namespace

std::vector<WrappedProgram> wrappedPrograms(const std::string &text,
                                            const std::vector<fs::path> &searchPath) {
    Variables variables;
    std::vector<WrappedProgram> programs;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        const std::size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
        std::vector<std::string> line =
            shellWords(std::string_view(text).substr(lineStart, lineEnd - lineStart));
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
} // namespace Qolvi_Desktop_Agent::linux_backend
