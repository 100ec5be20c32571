#include "platform/linux/wayland/compositor/waylandconnection.h"

#include "platform/linux/support/peercredentials.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <wayland-client.h>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

struct RegistryEvents {
    static void global(void *data, wl_registry *, std::uint32_t name, const char *interface,
                       std::uint32_t version) {
        static_cast<WaylandConnection *>(data)->m_globals.push_back({name, interface, version});
    }
    static void globalRemove(void *data, wl_registry *, std::uint32_t name) {
        auto &globals = static_cast<WaylandConnection *>(data)->m_globals;
        std::erase_if(globals, [name](const auto &global) { return global.name == name; });
    }
    static constexpr wl_registry_listener listener{global, globalRemove};
};

std::unique_ptr<WaylandConnection> WaylandConnection::open(const std::string &display,
                                                           std::chrono::milliseconds limit) {
    if (display.empty()) {
        return nullptr;
    }
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection);
    connection->m_display = wl_display_connect(display.c_str());
    if (connection->m_display == nullptr) {
        return nullptr;
    }
    connection->m_registry = wl_display_get_registry(connection->m_display);
    wl_registry_add_listener(connection->m_registry, &RegistryEvents::listener, connection.get());
    if (!connection->roundtrip(limit)) {
        return nullptr;
    }
    return connection;
}

WaylandConnection::~WaylandConnection() {
    if (m_registry != nullptr) {
        wl_registry_destroy(m_registry);
    }
    if (m_display != nullptr) {
        wl_display_disconnect(m_display);
    }
}

std::optional<WaylandConnection::Global>
WaylandConnection::global(const std::string &interface) const {
    const auto found = std::find_if(m_globals.begin(), m_globals.end(), [&](const auto &global) {
        return global.interface == interface;
    });
    return found != m_globals.end() ? std::optional(*found) : std::nullopt;
}

int WaylandConnection::fd() const {
    return wl_display_get_fd(m_display);
}

namespace {
std::optional<ucred> peerCredentials(int fd) {
    const auto credentials = linux_backend::peerCredentials(fd);
    return credentials && credentials->pid > 0 ? credentials : std::nullopt;
}
} // namespace

std::optional<pid_t> WaylandConnection::compositorPid() const {
    const auto credentials = peerCredentials(fd());
    return credentials ? std::optional(credentials->pid) : std::nullopt;
}

std::optional<uid_t> WaylandConnection::compositorUid() const {
    const auto credentials = peerCredentials(fd());
    return credentials ? std::optional(credentials->uid) : std::nullopt;
}

namespace {
struct SyncDone {
    static void done(void *data, wl_callback *, std::uint32_t) {
        *static_cast<bool *>(data) = true;
    }
    static constexpr wl_callback_listener listener{done};
};
} // namespace

bool WaylandConnection::roundtrip(std::chrono::milliseconds limit) {
    if (m_broken) {
        return false;
    }
    bool done = false;
    wl_callback *callback = wl_display_sync(m_display);
    wl_callback_add_listener(callback, &SyncDone::listener, &done);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done && !m_broken) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        dispatch(left);
    }
    wl_callback_destroy(callback);
    // A compositor that let the limit pass is not asked again: its answer would arrive for a
    // callback that is gone, and every later wait would start behind it.
    if (!done) {
        m_broken = true;
    }
    return done;
}

bool WaylandConnection::dispatch(std::chrono::milliseconds wait) {
    if (m_broken) {
        return false;
    }
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0) {
            m_broken = true;
            return false;
        }
    }
    // A full socket leaves the rest queued for the next call; only an error breaks the link.
    if (wl_display_flush(m_display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(m_display);
        m_broken = true;
        return false;
    }
    pollfd events{fd(), POLLIN, 0};
    const int ready = ::poll(&events, 1, static_cast<int>(wait.count()));
    if (ready > 0 && (events.revents & POLLIN) != 0) {
        if (wl_display_read_events(m_display) < 0) {
            m_broken = true;
            return false;
        }
    } else {
        wl_display_cancel_read(m_display);
        if (ready > 0 && (events.revents & (POLLHUP | POLLERR)) != 0) {
            m_broken = true;
            return false;
        }
    }
    if (wl_display_dispatch_pending(m_display) < 0) {
        m_broken = true;
        return false;
    }
    // What the events asked for (a window's details, say) goes out now, not at the next call,
    // so that its answer can arrive before then.
    if (wl_display_flush(m_display) < 0 && errno != EAGAIN) {
        m_broken = true;
        return false;
    }
    return true;
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
