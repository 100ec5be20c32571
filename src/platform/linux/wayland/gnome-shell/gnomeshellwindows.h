#pragma once

#include "platform/linux/wayland/bus/sessionbus.h"
#include "platform/linux/wayland/compositor/toplevel.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct sd_bus_slot;

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

// The windows of a GNOME Shell session, from the project's own Shell extension on the session
// bus (GNOME lists windows to no other client): each window's own ID, its owner's PID and the
// entry GNOME tracks it by. The extension answers only the installed agent, and is heard only on
// the shell's own connection and only where the shell runs the system's copy. The list is asked
// for again only when the extension says the windows changed.
class GnomeShellWindows {
public:
    static constexpr const char *busName = "com.qolvi.DesktopAgent.Windows";

    // Null when the session bus has no such extension, or it refuses this program.
    static std::unique_ptr<GnomeShellWindows> open(std::chrono::milliseconds limit);
    ~GnomeShellWindows();
    GnomeShellWindows(const GnomeShellWindows &) = delete;
    GnomeShellWindows &operator=(const GnomeShellWindows &) = delete;

    // Takes the messages that arrived; whether the windows changed. Once the bus is gone, or
    // the extension leaves it, the list is empty and the source is closed.
    bool refresh();
    [[nodiscard]] const std::vector<Toplevel> &toplevels() const { return m_toplevels; }
    [[nodiscard]] bool connected() const { return m_bus.isOpen(); }
    // The bus connection to wait on.
    [[nodiscard]] int fd() const { return m_bus.fd(); }

private:
    GnomeShellWindows() = default;
    // One List call; false when it was not answered with a list.
    bool list();
    void disconnect();

    SessionBus m_bus;
    std::string m_shell; // the shell's own connection, which runs the extension
    sd_bus_slot *m_changedSignal = nullptr;
    sd_bus_slot *m_ownerSignal = nullptr;
    sd_bus_slot *m_stateSignal = nullptr;
    std::chrono::milliseconds m_limit{};
    bool m_changed = false;
    bool m_extensionGone = false;
    std::vector<Toplevel> m_toplevels;
};

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
