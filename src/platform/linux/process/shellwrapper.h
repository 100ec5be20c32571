#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// The words of one shell line, quotes undone, up to the first separator or comment.
[[nodiscard]] std::vector<std::string> shellWords(std::string_view text);

// What a shell wrapper hands over to: each program it execs, with the arguments the exec line
// always passes. Variables the script sets plainly or by default (${NAME=value}) are expanded;
// an argument that depends on anything else is left out.
struct WrappedProgram {
    std::string program;
    std::vector<std::string> fixedArguments;
};

// What a shell script's text execs.
[[nodiscard]] std::vector<WrappedProgram>
wrappedPrograms(const std::string &text, const std::vector<std::filesystem::path> &searchPath);

} // namespace Qolvi_Desktop_Agent::linux_backend
