#pragma once

#include "platform/linux/wayland/bus/sessionbus.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

// What the agent asks GNOME Shell of the project's extension, which lists the session's windows:
// whether it is installed, whether the shell runs the system's copy, and to turn it on.
class GnomeShellExtension {
public:
    static constexpr const char *uuid = "windows@desktop-agent.qolvi.com";

    // Asks GNOME Shell to turn the installed extension on for the user, as the user's extension
    // settings would. A shell that found the extension only after it started (a package
    // installed during the session) refuses, and runs it from the next login on.
    enum class Enabling { noShell, refused, enabled };
    static Enabling enable(std::chrono::milliseconds limit);
    // Whether the extension lies in one of the data folders the shell looks in. A refusal
    // means a new login only for an installed extension: one that is not there, as for an
    // agent run from its build, no login brings.
    static bool installedIn(const std::vector<std::filesystem::path> &dataDirs);
    // Whether an extension's folder is the system's: owned by root down from the top, so that
    // no one else could have put it there or changed it.
    static bool isSystemExtension(const std::filesystem::path &folder);
    // Where the shell, on its own connection, says it loaded the extension from, when it found
    // it among the system's extensions rather than the user's own; "" otherwise.
    static std::string systemCopyPath(const SessionBus &bus, const std::string &shell);
};

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
