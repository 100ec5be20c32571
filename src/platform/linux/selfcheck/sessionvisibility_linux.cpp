#include "platform/linux/selfcheck/sessionvisibility_linux.h"

#include "platform/linux/support/peercredentials.h"
#include "platform/linux/support/textfields.h"
#include "platform/linux/windowlists/ownwindow.h"
#include "platform/sessionvisibility.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/res.h>

namespace Qolvi_Desktop_Agent::session_visibility {

namespace {

using linux_backend::hexDigitValue;
using linux_backend::splitFields;

std::optional<std::string> environmentValue(const char *name) {
    const char *value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

// A bus address value, in which any byte may be written as %XX; nothing when one is malformed.
std::optional<std::string> unescaped(std::string_view value) {
    std::string bytes;
    for (std::size_t at = 0; at < value.size(); ++at) {
        if (value[at] != '%') {
            bytes.push_back(value[at]);
            continue;
        }
        const int high = at + 2 < value.size() ? hexDigitValue(value[at + 1]) : -1;
        const int low = at + 2 < value.size() ? hexDigitValue(value[at + 2]) : -1;
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(char(high * 16 + low));
        at += 2;
    }
    return bytes;
}

// Whether /proc shows this process's own PID namespace: its "self" then names this process.
bool procIsOwn(const std::string &procRoot, pid_t ownPid) {
    std::array<char, 32> target{};
    const std::string self = procRoot + "/self";
    const ssize_t length = readlink(self.c_str(), target.data(), target.size());
    return length > 0 &&
           std::string_view(target.data(), std::size_t(length)) == std::to_string(ownPid);
}

// The first socket that takes the connection speaks for the service, as it would for a client.
bool answersFromOutside(const std::vector<SocketAddress> &sockets, const ListenerPid &pidOf) {
    for (const SocketAddress &socket : sockets) {
        if (const std::optional<pid_t> pid = pidOf(socket)) {
            return *pid == 0;
        }
    }
    return false;
}

// What the X server knows of the process at the other end of the window's own connection: the
// base of a client's resource IDs names that client.
std::optional<pid_t> x11ClientPid() {
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    const xcb_query_extension_reply_t *resource =
        connection ? xcb_get_extension_data(connection, &xcb_res_id) : nullptr;
    if (resource == nullptr || !resource->present) {
        return std::nullopt;
    }
    const xcb_res_client_id_spec_t spec{xcb_get_setup(connection)->resource_id_base,
                                        XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    const std::unique_ptr<xcb_res_query_client_ids_reply_t, decltype(&std::free)> reply(
        xcb_res_query_client_ids_reply(connection, xcb_res_query_client_ids(connection, 1, &spec),
                                       nullptr),
        &std::free);
    if (!reply) {
        return std::nullopt;
    }
    for (auto ids = xcb_res_query_client_ids_ids_iterator(reply.get()); ids.rem > 0;
         xcb_res_client_id_value_next(&ids)) {
        if ((ids.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) != 0 &&
            xcb_res_client_id_value_value_length(ids.data) == 1) {
            return pid_t(*xcb_res_client_id_value_value(ids.data));
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<SocketAddress> x11DisplaySockets(std::string_view display) {
    // [protocol/][host]:number[.screen]; only an empty host or "unix" is a local socket.
    const std::size_t colon = display.rfind(':');
    if (colon == std::string_view::npos) {
        return {};
    }
    std::string_view host = display.substr(0, colon);
    if (const std::size_t slash = host.rfind('/'); slash != std::string_view::npos) {
        if (host.substr(0, slash) != "unix") {
            return {};
        }
        host.remove_prefix(slash + 1);
    }
    std::string_view number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if ((!host.empty() && host != "unix") || number.empty() ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return {};
    }
    const std::string socket = "/tmp/.X11-unix/X" + std::string(number);
    return {{socket, true}, {socket, false}};
}

std::vector<SocketAddress> waylandDisplaySockets(const std::optional<std::string> &waylandDisplay,
                                                 std::string_view runtimeDir) {
    const std::string name = waylandDisplay.value_or("wayland-0");
    if (name.starts_with('/')) {
        return {{name, false}};
    }
    if (name.empty() || runtimeDir.empty()) {
        return {};
    }
    return {{std::string(runtimeDir) + "/" + name, false}};
}

std::vector<SocketAddress> busSockets(const std::optional<std::string> &address,
                                      std::string_view runtimeDir) {
    if (!address) {
        if (runtimeDir.empty()) {
            return {};
        }
        return {{std::string(runtimeDir) + "/bus", false}};
    }
    std::vector<SocketAddress> sockets;
    for (const std::string_view entry : splitFields(*address, ';')) {
        if (!entry.starts_with("unix:")) {
            continue;
        }
        for (const std::string_view pair : splitFields(entry.substr(5), ',')) {
            const std::size_t equals = pair.find('=');
            const std::string_view key = pair.substr(0, equals);
            if (equals == std::string_view::npos || (key != "path" && key != "abstract")) {
                continue;
            }
            if (const std::optional<std::string> value = unescaped(pair.substr(equals + 1))) {
                sockets.push_back({*value, key == "abstract"});
            }
        }
    }
    return sockets;
}

std::optional<pid_t> listenerPid(const SocketAddress &address) {
    sockaddr_un socketAddress{};
    socketAddress.sun_family = AF_UNIX;
    if (address.name.empty() || address.name.size() >= sizeof socketAddress.sun_path) {
        return std::nullopt;
    }
    // A file's name ends with a zero byte; an abstract name starts with one and has no end
    // of its own: either takes one byte more than the name.
    std::memcpy(socketAddress.sun_path + (address.abstract ? 1 : 0), address.name.data(),
                address.name.size());
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + address.name.size() + 1);
    // Non-blocking: a listener whose backlog is full refuses at once instead of making us wait.
    const int connection = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (connection < 0) {
        return std::nullopt;
    }
    std::optional<pid_t> pid;
    // Before the listener accepts, the peer's credentials are those it listened with.
    if (connect(connection, reinterpret_cast<const sockaddr *>(&socketAddress), length) == 0) {
        if (const auto credentials = linux_backend::peerCredentials(connection)) {
            pid = credentials->pid;
        }
    }
    close(connection);
    return pid;
}

SessionSurroundings SessionSurroundings::ofThisProcess(WindowSystem windowSystem) {
    SessionSurroundings surroundings;
    surroundings.ownPid = getpid();
    surroundings.windowSystem = windowSystem;
    surroundings.display = environmentValue("DISPLAY");
    surroundings.waylandDisplay = environmentValue("WAYLAND_DISPLAY");
    surroundings.sessionBus = environmentValue("DBUS_SESSION_BUS_ADDRESS");
    // Unsetting the variables must not skip the bus: it is still where the session put it.
    surroundings.runtimeDir =
        environmentValue("XDG_RUNTIME_DIR").value_or("/run/user/" + std::to_string(getuid()));
    if (windowSystem == WindowSystem::x11) {
        surroundings.displayClientPid = x11ClientPid;
    }
    return surroundings;
}

bool seesUserSession(const SessionSurroundings &surroundings) {
    if (!procIsOwn(surroundings.procRoot, surroundings.ownPid)) {
        return false;
    }
    if (surroundings.displayClientPid) {
        if (const std::optional<pid_t> pid = surroundings.displayClientPid();
            pid && *pid != surroundings.ownPid) {
            return false;
        }
    }
    const std::string runtimeDir = surroundings.runtimeDir.value_or(std::string());
    std::vector<SocketAddress> display;
    switch (surroundings.windowSystem) {
    case WindowSystem::x11:
        display = x11DisplaySockets(surroundings.display.value_or(std::string()));
        break;
    case WindowSystem::wayland:
        display = waylandDisplaySockets(surroundings.waylandDisplay, runtimeDir);
        break;
    case WindowSystem::other:
        break;
    }
    return !answersFromOutside(display, surroundings.listenerPid) &&
           !answersFromOutside(busSockets(surroundings.sessionBus, runtimeDir),
                               surroundings.listenerPid);
}

} // namespace Qolvi_Desktop_Agent::session_visibility

namespace Qolvi_Desktop_Agent {

bool seesUserSession() {
    // A process never leaves its PID namespace, and the window and the bus keep the connections
    // they made at startup: the first answer holds for the agent's life. A compositor names the
    // owner of the agent's window only once a window source has listed it, on a thread of its
    // own: until then it says nothing, as an X server without X-Resource does.
    static const bool sees = [] {
        using namespace session_visibility;
        const QString platform = QGuiApplication::platformName();
        const WindowSystem windowSystem = platform == QLatin1String("xcb") ? WindowSystem::x11
                                          : platform.startsWith(QLatin1String("wayland"))
                                              ? WindowSystem::wayland
                                              : WindowSystem::other;
        return session_visibility::seesUserSession(
            SessionSurroundings::ofThisProcess(windowSystem));
    }();
    return sees && !linux_backend::ownWindowOwnedElsewhere();
}

} // namespace Qolvi_Desktop_Agent
