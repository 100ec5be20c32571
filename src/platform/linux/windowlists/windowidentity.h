#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// What a top-level window says of the application it belongs to, each list strongest first:
// the IDs its toolkit declares (_GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE, a Wayland
// app_id), and the classes a window manager matches to entries (WM_CLASS's class, then its
// instance).
struct WindowIdentity {
    std::vector<std::string> applicationIds;
    std::vector<std::string> classes;
};

// A window as a window source lists it: its owner's PID, 0 when the source cannot tell.
struct OwnedWindow {
    pid_t owner = 0;
    WindowIdentity identity;
};

// What a window source may need to know of the session before it asks its server.
struct SessionState {
    bool xwaylandRunning = false;
};

// The top-level windows of one display server, however it lists them.
class WindowList {
public:
    WindowList() = default;
    virtual ~WindowList() = default;
    WindowList(const WindowList &) = delete;
    WindowList &operator=(const WindowList &) = delete;
    // Whether the list changed since the last refresh.
    virtual bool refresh(const SessionState &session) = 0;
    [[nodiscard]] virtual const std::vector<OwnedWindow> &windows() const = 0;
    // Whether the desktop lists its windows to the agent only from the user's next login on.
    [[nodiscard]] virtual bool needsNewLogin() const { return false; }
};

} // namespace Qolvi_Desktop_Agent::linux_backend
