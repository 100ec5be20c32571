#pragma once

#include "platform/linux/windowlists/windowidentity.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// Where the scanner looks. The product reads the real /proc and the XDG folders of its
// environment; tests point it at fixture trees.
struct ScannerSources {
    std::filesystem::path procRoot = "/proc";
    std::vector<std::filesystem::path> dataDirs; // XDG_DATA_HOME first, then XDG_DATA_DIRS
    // The user's own data folders, whose entries never outrank the system's: the first
    // `userDataDirs` (XDG_DATA_HOME), and any inside the home folder.
    std::size_t userDataDirs = 1;
    std::filesystem::path home;
    std::vector<std::filesystem::path> searchPath;
    // Who owns the system's files besides root: no one else in the product.
    uid_t systemOwner = 0;
    // Where sandboxed applications are installed; with none of them there, no process is one.
    std::vector<std::filesystem::path> flatpakInstallations;
    uid_t user = 0;
    // The X display whose windows name their processes, if any; in a Wayland session it is an
    // Xwayland, asked only while one runs, so that asking never starts one.
    std::string display;
    bool waylandSession = false;
    // Opens the display's window list; X11Windows when none is given (tests give their own).
    std::function<std::unique_ptr<WindowList>(const std::string &display)> openX11Display;
    // How long a scan waits for the window sources, which ask other programs on threads of their
    // own; what comes later is taken at the next scan. The agent waits a short while, so that a
    // silent display server, compositor or bus never stalls its window; a tool may wait as long
    // as the sources' own limits.
    std::chrono::milliseconds windowAnswerWait{std::chrono::seconds(30)};

    [[nodiscard]] static ScannerSources fromEnvironment();
};

} // namespace Qolvi_Desktop_Agent::linux_backend
