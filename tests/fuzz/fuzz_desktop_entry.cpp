// Desktop entries of any content in an applications folder, and the program of any Exec
// value: the index builds, and a program is never longer than its Exec value.

#include "platform/linux/entries/desktopentry.h"
#include "platform/linux/entries/desktopentryindex.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent::linux_backend;
namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const fs::path dataDir =
        fs::temp_directory_path() / ("qolvi-fuzz-entries-" + std::to_string(::getpid()));
    const std::string content(reinterpret_cast<const char *>(data), size);
    if (execProgram(content).size() > content.size()) {
        std::abort();
    }
    fs::create_directories(dataDir / "applications");
    std::ofstream(dataDir / "applications/fuzz.desktop", std::ios::binary | std::ios::trunc)
        << content;
    DesktopEntryIndex index({dataDir}, {"/usr/bin", "/bin"});
    index.rebuildIfChanged();
    static_cast<void>(
        index.idForProgram({"/usr/bin/env", {"env", "-i"}}, DesktopEntryIndex::Tier::system));
    return 0;
}
