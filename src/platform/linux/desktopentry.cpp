#include "desktopentry.h"

#include <fstream>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace {

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

bool isFieldCode(const std::string &word) {
    return word.size() == 2 && word[0] == '%';
}

} // namespace

DesktopEntry readDesktopEntry(const std::filesystem::path &file) {
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
        const std::size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string::npos) {
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
        } else if (key == "StartupWMClass") {
            entry.startupWmClass = value;
        } else if (key == "Hidden") {
            entry.hidden = value == "true";
        } else if (key == "NoDisplay") {
            entry.noDisplay = value == "true";
        } else if (key == "Terminal") {
            entry.terminal = value == "true";
        }
    }
    return entry;
}

ExecCommand parseExec(const std::string &exec) {
    const std::vector<std::string> words = splitExecWords(exec);
    std::size_t index = 0;
    if (index < words.size() && (words[index] == "env" || words[index] == "/usr/bin/env")) {
        ++index;
        while (index < words.size() && words[index].find('=') != std::string::npos) {
            ++index;
        }
    }
    ExecCommand command;
    if (index >= words.size()) {
        return command;
    }
    command.program = words[index];
    for (++index; index < words.size(); ++index) {
        if (!isFieldCode(words[index])) {
            command.fixedArguments.push_back(words[index]);
        }
    }
    return command;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
