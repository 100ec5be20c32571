#pragma once

#include "platform/linux/wayland/compositor/toplevel.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

class WaylandConnection;
class ToplevelProtocol;

// The lister for a compositor that lists other clients' windows itself, through the best
// toplevel protocol it offers: each window's application ID from ext_foreign_toplevel_list_v1 where
// offered, else from zwlr_foreign_toplevel_manager_v1, and its owner's PID where the compositor
// says it (sway's IPC); or both from KDE's org_kde_plasma_window_management where KWin offers it.
// Windows are learnt from events as they arrive; a refresh with nothing new only looks at the
// socket, and the PIDs are asked for once per change of the list, never per window.
class CompositorWindows {
public:
    enum class PidSource { None, Compositor, SwayIpc };

    struct Options {
        std::string display;    // as WAYLAND_DISPLAY holds it
        std::string swaySocket; // SWAYSOCK, if set
        std::string runtimeDir; // XDG_RUNTIME_DIR, where sway's IPC socket is by default
        // How long connecting may wait on the compositor: KWin, say, reads the installed
        // entries before it answers a new client.
        std::chrono::milliseconds connectLimit{3000};
        // How long asking for PIDs may wait, at a tick where the windows changed.
        std::chrono::milliseconds answerLimit{500};
    };
    [[nodiscard]] static Options optionsFromEnvironment();

    // Null when there is no such display, it does not answer, or it offers neither protocol:
    // then only the processes name applications.
    static std::unique_ptr<CompositorWindows> open(const Options &options);
    ~CompositorWindows();
    CompositorWindows(const CompositorWindows &) = delete;
    CompositorWindows &operator=(const CompositorWindows &) = delete;

    // Takes the events that arrived; whether the list of windows or their PIDs changed. Once
    // the compositor is gone, or has ended the list, the list is empty for good.
    bool refresh();
    // The windows shown now, in the order the compositor announced them (the windows already
    // shown when the source connects come in an order of the compositor's own).
    [[nodiscard]] const std::vector<Toplevel> &toplevels() const { return m_toplevels; }
    // The protocol bound, by its interface name.
    [[nodiscard]] const char *protocol() const;
    [[nodiscard]] PidSource pidSource() const { return m_pidSource; }
    [[nodiscard]] bool connected() const;
    // The socket to wait on for the compositor's events.
    [[nodiscard]] int fd() const;

private:
    CompositorWindows() = default;
    enum class Retry { Never, Once };
    void askForPids(Retry retry);

    Options m_options;
    std::unique_ptr<WaylandConnection> m_connection;
    std::unique_ptr<ToplevelProtocol> m_protocol;
    PidSource m_pidSource = PidSource::None;
    std::string m_swaySocket;
    std::vector<Toplevel> m_toplevels;
    bool m_pidsIncomplete = false;
};

// Gives each window the PID of a process the compositor lists with the same application ID,
// each listed process once, in order; a window no listed process matches keeps no PID. Both
// lists name the same windows, so which of two windows of one ID takes which PID does not
// change what the pairs say.
std::vector<Toplevel> pairWithProcesses(const std::vector<std::string> &appIds,
                                        const std::vector<Toplevel> &listed);

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
