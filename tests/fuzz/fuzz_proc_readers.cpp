// The per-process files of a /proc tree with any content: the input holds the stat, cgroup
// and .flatpak-info files of one process, separated by NUL bytes. Reading them ends and gives
// what the files hold, never more.

#include "platform/linux/process/procreader.h"
#include "platform/linux/process/unitname.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent::linux_backend;
namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const fs::path root =
        fs::temp_directory_path() / ("qolvi-fuzz-proc-" + std::to_string(::getpid()));
    fs::create_directories(root / "42/root");
    std::string_view input(reinterpret_cast<const char *>(data), size);
    std::string_view parts[3];
    const char *files[] = {"42/stat", "42/cgroup", "42/root/.flatpak-info"};
    for (int i = 0; i < 3; ++i) {
        parts[i] = input.substr(0, input.find('\0'));
        input.remove_prefix(std::min(parts[i].size() + 1, input.size()));
        std::ofstream(root / files[i], std::ios::binary | std::ios::trunc) << parts[i];
    }
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const ProcReader reader(rootFd);
    static_cast<void>(reader.status(42));
    const std::string path = reader.cgroupPath(42);
    const std::string application = reader.flatpakApplication(42);
    ::close(rootFd);
    if (path.size() > parts[1].size() || application.size() > parts[2].size()) {
        std::abort();
    }
    static_cast<void>(applicationIdFromUnit(path.substr(path.rfind('/') + 1)));
    return 0;
}
