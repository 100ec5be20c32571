#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// The keys of a desktop entry's main group that tell which processes it names.
struct DesktopEntry {
    std::string type;
    std::string exec;
    std::string tryExec;
    std::string startupWmClass;
    bool hidden = false;
    bool noDisplay = false;
    bool terminal = false;
};

[[nodiscard]] DesktopEntry readDesktopEntry(const std::filesystem::path &file);

// The keys of one group of a key file (a desktop entry, a D-Bus service, a sandbox's record):
// the one reader of them all.
using KeyGroup = std::unordered_map<std::string, std::string>;
[[nodiscard]] KeyGroup parseKeyGroup(std::string_view text, std::string_view group);
// Up to `limit` bytes from the start of a file, read without blocking on a FIFO or a device;
// "" when it cannot be read.
[[nodiscard]] std::string readFileStart(const std::filesystem::path &file, std::size_t limit);
// The same of a file on disk, of which the first 64 KiB are read.
constexpr std::size_t keyFileLimit = std::size_t{64} * 1024;
[[nodiscard]] KeyGroup readKeyGroup(const std::filesystem::path &file, std::string_view group);

// An Exec value split into its program and the arguments it always passes: quoting undone,
// any "env VAR=value" prefix and every field code (%f, %U, ...) left out.
struct ExecCommand {
    std::string program;
    std::vector<std::string> fixedArguments;
};

[[nodiscard]] ExecCommand parseExec(const std::string &exec);

// The program of an Exec value, or "" when there is none.
[[nodiscard]] inline std::string execProgram(const std::string &exec) {
    return parseExec(exec).program;
}

// The file a command hands its program to run ("gjs /usr/share/app/main.js", "java -jar
// /usr/share/app/app.jar"): its first operand, when that is a file of its own that is no
// program. The command then names that file, never the interpreter, which runs much else.
[[nodiscard]] std::string handedFile(const std::vector<std::string> &fixedArguments);

} // namespace Qolvi_Desktop_Agent::linux_backend
