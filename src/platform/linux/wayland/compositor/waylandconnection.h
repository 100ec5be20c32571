#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct wl_display;
struct wl_registry;

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

// A Wayland connection of the agent's own, apart from any the toolkit holds, so that what it
// binds and when it reads never depends on the window system the agent's own window uses.
// Nothing here waits on the compositor for longer than the limit given: a compositor that does
// not answer ends the connection instead of the agent's tick.
class WaylandConnection {
public:
    struct Global {
        std::uint32_t name = 0;
        std::string interface;
        std::uint32_t version = 0;
    };

    // Connects to the display named (a socket name or path, as WAYLAND_DISPLAY holds it) and
    // learns the globals it offers; null when there is no such display or it does not answer.
    static std::unique_ptr<WaylandConnection> open(const std::string &display,
                                                   std::chrono::milliseconds limit);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection &) = delete;
    WaylandConnection &operator=(const WaylandConnection &) = delete;

    [[nodiscard]] wl_display *display() const { return m_display; }
    [[nodiscard]] wl_registry *registry() const { return m_registry; }
    [[nodiscard]] const std::vector<Global> &globals() const { return m_globals; }
    [[nodiscard]] std::optional<Global> global(const std::string &interface) const;
    // The socket to wait on for events.
    [[nodiscard]] int fd() const;
    // The compositor's process, as the kernel knows the socket's other end.
    [[nodiscard]] std::optional<pid_t> compositorPid() const;
    [[nodiscard]] std::optional<uid_t> compositorUid() const;
    [[nodiscard]] bool broken() const { return m_broken; }

    // Sends what is queued and handles the events that have already arrived, without waiting.
    void dispatchArrived() { dispatch(std::chrono::milliseconds(0)); }
    // Waits until the compositor has handled every request sent so far and its answers were
    // dispatched, for up to the limit; false when it did not within it.
    bool roundtrip(std::chrono::milliseconds limit);

private:
    WaylandConnection() = default;
    // Reads and dispatches the events that arrive within the wait; false once the connection
    // is broken.
    bool dispatch(std::chrono::milliseconds wait);
    friend struct RegistryEvents;

    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    std::vector<Global> m_globals;
    bool m_broken = false;
};

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
