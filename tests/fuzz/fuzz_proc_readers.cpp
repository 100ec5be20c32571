// The per-process files of a /proc tree with any content: the input holds the stat, cgroup
// and .flatpak-info files of one process, separated by NUL bytes. Reading them ends and gives
// what the files hold, never more.

#include "platform/linux/procreader.h"
#include "platform/linux/unitname.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent::linux_backend;
namespace fs = std::filesystem;

namespace {

const fs::path &procRoot() {
    static const fs::path root = [] {
        const fs::path made =
            fs::temp_directory_path() / ("qolvi-fuzz-proc-" + std::to_string(::getpid()));
        fs::create_directories(made / "42/root");
        return made;
    }();
    return root;
}

std::string_view nextPart(std::string_view &input) {
    const std::size_t end = input.find('\0');
    const std::string_view part = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    return part;
}

void write(const fs::path &file, std::string_view content) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::string_view cgroup = [&] {
        write(procRoot() / "42/stat", nextPart(input));
        return nextPart(input);
    }();
    write(procRoot() / "42/cgroup", cgroup);
    const std::string_view flatpakInfo = nextPart(input);
    write(procRoot() / "42/root/.flatpak-info", flatpakInfo);

    const int rootFd = ::open(procRoot().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const ProcReader reader(rootFd);
    static_cast<void>(reader.status(42));
    const std::string path = reader.cgroupPath(42);
    const std::string application = reader.flatpakApplication(42);
    ::close(rootFd);
    if (path.size() > cgroup.size() || application.size() > flatpakInfo.size()) {
        std::abort();
    }
    static_cast<void>(applicationIdFromUnit(path.substr(path.rfind('/') + 1)));
    return 0;
}
