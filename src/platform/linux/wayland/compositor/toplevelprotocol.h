#pragma once

#include "platform/linux/wayland/compositor/toplevel.h"
#include "platform/linux/wayland/compositor/waylandconnection.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

// One foreign-toplevel protocol bound on the agent's connection (the ext, wlr or KDE one), with
// the top-level windows it has announced, each with the application ID it last committed. A window
// counts once the compositor has sent all it knows of it (its first `done`), and its ID changes
// only at a `done`, as the protocols define.
class ToplevelProtocol {
public:
    virtual ~ToplevelProtocol() = default;
    ToplevelProtocol(const ToplevelProtocol &) = delete;
    ToplevelProtocol &operator=(const ToplevelProtocol &) = delete;

    // The protocol's interface name, as the registry offers it.
    [[nodiscard]] virtual const char *protocol() const = 0;
    // The windows shown now, in the order they were announced, with their owners' PIDs where
    // the protocol gives them.
    [[nodiscard]] std::vector<Toplevel> toplevels() const;
    // Whether the protocol gives each window's PID.
    [[nodiscard]] virtual bool givesPids() const { return false; }
    // Whether the list changed since the last call.
    bool takeChanged() { return std::exchange(m_changed, false); }
    // The compositor said it will announce no more windows.
    [[nodiscard]] bool finished() const { return m_finished; }

    // A window's handle as the protocol code knows it, bound to the proxy as its user data.
    struct Window {
        ToplevelProtocol *list = nullptr;
        void *handle = nullptr;
        std::string pendingAppId;
        std::string appId;
        std::optional<pid_t> pid;
        bool shown = false;
    };

protected:
    ToplevelProtocol() = default;
    Window *add(void *handle);
    static void commit(Window *window);
    // Sets what the protocol gives at once rather than at a commit.
    static void setPid(Window *window, pid_t pid);
    // Forgets the window and returns its handle, for the caller to destroy.
    static void *remove(Window *window);
    [[nodiscard]] const std::vector<std::unique_ptr<Window>> &windows() const { return m_windows; }

    bool m_finished = false;

private:
    std::vector<std::unique_ptr<Window>> m_windows;
    bool m_changed = false;
};

// The list through ext_foreign_toplevel_list_v1, where the compositor offers it; null otherwise.
std::unique_ptr<ToplevelProtocol> bindExtForeignToplevelList(WaylandConnection &connection);
// The list through zwlr_foreign_toplevel_manager_v1 (up to version 3), where offered.
std::unique_ptr<ToplevelProtocol> bindWlrForeignToplevelManager(WaylandConnection &connection);
// The list through org_kde_plasma_window_management, which gives PIDs too, where offered: KWin
// offers it only to a program that an installed desktop entry lists with the interface in
// X-KDE-Wayland-Interfaces.
std::unique_ptr<ToplevelProtocol> bindPlasmaWindowManagement(WaylandConnection &connection);

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
