#pragma once

#include <filesystem>
#include <string>
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

} // namespace Qolvi_Desktop_Agent::linux_backend
