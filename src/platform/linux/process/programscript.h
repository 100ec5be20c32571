#pragma once

#include "platform/linux/process/shellwrapper.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// Forgets the folders resolved so far, whose links may have changed since.
void forgetResolvedFolders();

// Finds a program by name on a search path, as a shell would; a name with a slash is taken as
// it is. The canonical path, or "" when there is none.
[[nodiscard]] std::string resolveProgram(const std::string &program,
                                         const std::vector<std::filesystem::path> &searchPath);

// The first argument from `from` on that is neither an option nor an option's value: what the
// interpreter or loader `program` runs; none when it runs a command given inline or a module.
[[nodiscard]] const std::string *firstOperand(const std::vector<std::string> &arguments,
                                              std::size_t from, std::string_view program = {});

// The canonical interpreter a script names on its "#!" line (through "env" too), or "" for a
// file that is no such script.
[[nodiscard]] std::string scriptInterpreter(const std::filesystem::path &script,
                                            const std::vector<std::filesystem::path> &searchPath);

// A program file read once: the interpreter its "#!" line names, if it is a script, and what it
// execs, if it is a shell script.
struct ProgramScript {
    std::string interpreter;
    std::vector<WrappedProgram> wrapped;
};

// `head` holds the program's first bytes (256 are enough), read by the caller.
[[nodiscard]] ProgramScript readProgramScript(const std::filesystem::path &program,
                                              std::string_view head,
                                              const std::vector<std::filesystem::path> &searchPath);

} // namespace Qolvi_Desktop_Agent::linux_backend
