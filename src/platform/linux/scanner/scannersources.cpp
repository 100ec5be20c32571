#include "platform/linux/scanner/scannersources.h"

#include <cstdlib>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> splitPathList(const char *value, const char *fallback) {
    const std::string list = value != nullptr && *value != '\0' ? value : fallback;
    std::vector<fs::path> paths;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t colon = std::min(list.find(':', start), list.size());
        if (colon > start) {
            paths.emplace_back(list.substr(start, colon - start));
        }
        start = colon + 1;
    }
    return paths;
}

} // namespace

ScannerSources ScannerSources::fromEnvironment() {
    ScannerSources sources;
    const char *home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        sources.home = home;
    }
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && *dataHome != '\0') {
        sources.dataDirs.emplace_back(dataHome);
    } else if (home != nullptr && *home != '\0') {
        sources.dataDirs.push_back(fs::path(home) / ".local/share");
    }
    sources.userDataDirs = sources.dataDirs.size();
    for (fs::path &dir :
         splitPathList(std::getenv("XDG_DATA_DIRS"), "/usr/local/share:/usr/share")) {
        sources.dataDirs.push_back(std::move(dir));
    }
    sources.searchPath = splitPathList(std::getenv("PATH"), "/usr/local/bin:/usr/bin:/bin");
    sources.flatpakInstallations = {"/var/lib/flatpak", "/etc/flatpak/installations.d"};
    if (!sources.dataDirs.empty()) {
        sources.flatpakInstallations.push_back(sources.dataDirs.front() / "flatpak");
    }
    sources.user = ::getuid();
    if (const char *display = std::getenv("DISPLAY"); display != nullptr) {
        sources.display = display;
    }
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    sources.waylandSession = wayland != nullptr && *wayland != '\0';
    return sources;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
