#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// How the agent tells, on Linux, that it cannot see the user's session. The kernel gives the
// PID of a socket's peer as seen from the asking process's PID namespace, and 0 when the peer
// has none there. The display server and the session bus run in the session's namespace, so an
// agent that finds either without a PID runs in a namespace of its own and sees none of the
// session's processes; one whose /proc is not its own namespace's reads another namespace's
// processes. In the PID namespace every desktop runs in, every process has a PID: neither can
// happen there.
namespace Qolvi_Desktop_Agent::session_visibility {

// A Unix socket that a session service listens on: a file, or a name in the abstract namespace.
struct SocketAddress {
    std::string name;
    bool abstract = false;

    bool operator==(const SocketAddress &) const = default;
};

// The display the window is on.
enum class WindowSystem { x11, wayland, other };

// The local sockets of an X display, in the order clients try them: none for a display on
// another host or over TCP.
[[nodiscard]] std::vector<SocketAddress> x11DisplaySockets(std::string_view display);
// The socket of a Wayland display: unset means "wayland-0"; a relative name lies in the runtime
// folder.
[[nodiscard]] std::vector<SocketAddress>
waylandDisplaySockets(const std::optional<std::string> &waylandDisplay,
                      std::string_view runtimeDir);
// The Unix sockets of a session bus address, in order; unset means the runtime folder's "bus".
[[nodiscard]] std::vector<SocketAddress> busSockets(const std::optional<std::string> &address,
                                                    std::string_view runtimeDir);

// The PID, as this process sees it, of the process that listens on a socket: 0 when it has
// none here, nothing when no one takes the connection at once.
using ListenerPid = std::function<std::optional<pid_t>(const SocketAddress &)>;
[[nodiscard]] std::optional<pid_t> listenerPid(const SocketAddress &address);

// The PID the display server gives this process's own connection, from the server's PID
// namespace: nothing when it does not say.
using DisplayClientPid = std::function<std::optional<pid_t>()>;

// What the check reads: the product's come from the process itself, tests give their own.
struct SessionSurroundings {
    std::string procRoot = "/proc";
    pid_t ownPid = 0;
    WindowSystem windowSystem = WindowSystem::other;
    std::optional<std::string> display;        // DISPLAY
    std::optional<std::string> waylandDisplay; // WAYLAND_DISPLAY
    std::optional<std::string> sessionBus;     // DBUS_SESSION_BUS_ADDRESS
    std::optional<std::string> runtimeDir;     // XDG_RUNTIME_DIR, else the user's standard one
    ListenerPid listenerPid = session_visibility::listenerPid;
    DisplayClientPid displayClientPid; // unset: the server says nothing

    [[nodiscard]] static SessionSurroundings ofThisProcess(WindowSystem windowSystem);
};

// False when /proc is not this process's namespace's, when the display the window is on or
// the session bus answers from outside this process's PID namespace, or when the display
// server names another PID for this process's connection: a relay of the display's socket
// started inside the namespace listens with a PID there, but the server then sees the relay.
// Whatever does not answer says nothing, so a session without a bus, or a display over TCP, counts
// as seen.
[[nodiscard]] bool seesUserSession(const SessionSurroundings &surroundings);

} // namespace Qolvi_Desktop_Agent::session_visibility
