#include "platform/linux/entries/desktopentry.h"

#include "platform/linux/process/programfingerprint.h"
#include "platform/linux/process/programscript.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

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

KeyGroup parseKeyGroup(std::string_view text, std::string_view group) {
    KeyGroup keys;
    bool inGroup = false;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (inGroup) {
                break;
            }
            inGroup = line.substr(1, line.size() - 1) == std::string(group) + ']';
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos) {
            continue;
        }
        std::string_view key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ') {
            key.remove_suffix(1);
        }
        std::string_view value = line.substr(equals + 1);
        value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
        // The first of a key counts, as in every reader of these files.
        keys.try_emplace(std::string(key), value);
    }
    return keys;
}

std::string readFileStart(const std::filesystem::path &file, std::size_t limit) {
    const int fd = openProgramFile(file);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return {};
    }
    std::string text(std::min(limit, static_cast<std::size_t>(info.st_size)), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = ::read(fd, text.data() + done, text.size() - done);
        if (count <= 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    ::close(fd);
    text.resize(done);
    return text;
}

KeyGroup readKeyGroup(const std::filesystem::path &file, std::string_view group) {
    return parseKeyGroup(readFileStart(file, keyFileLimit), group);
}

DesktopEntry readDesktopEntry(const std::filesystem::path &file) {
    const KeyGroup keys = readKeyGroup(file, "Desktop Entry");
    const auto value = [&keys](const char *key) {
        const auto found = keys.find(key);
        return found != keys.end() ? found->second : std::string();
    };
    DesktopEntry entry;
    entry.type = value("Type");
    entry.exec = value("Exec");
    entry.tryExec = value("TryExec");
    entry.startupWmClass = value("StartupWMClass");
    entry.hidden = value("Hidden") == "true";
    entry.noDisplay = value("NoDisplay") == "true";
    entry.terminal = value("Terminal") == "true";
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

namespace {

bool isElf(const fs::path &file) {
    char magic[4] = {};
    const int fd = openProgramFile(file);
    const bool elf = fd >= 0 && ::read(fd, magic, sizeof magic) == sizeof magic &&
                     std::equal(magic, magic + 4, "\177ELF");
    if (fd >= 0) {
        ::close(fd);
    }
    return elf;
}

} // namespace

std::string handedFile(const std::vector<std::string> &fixedArguments) {
    const std::string *operand = firstOperand(fixedArguments, 0);
    std::error_code error;
    if (operand == nullptr || operand->front() != '/' || !fs::is_regular_file(*operand, error) ||
        isElf(*operand)) {
        return {};
    }
    fs::path canonical = fs::canonical(*operand, error);
    return error ? std::string() : canonical.string();
}

} // namespace Qolvi_Desktop_Agent::linux_backend
