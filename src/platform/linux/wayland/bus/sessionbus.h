#pragma once

#include <chrono>

struct sd_bus;

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

// A connection of a window source's own to the user's session bus, whose messages are dispatched
// as they arrive, never waited for. Connecting, and every call made on it, waits for the bus and
// its peers for the limit given at most.
class SessionBus {
public:
    SessionBus() = default;
    ~SessionBus();
    SessionBus(const SessionBus &) = delete;
    SessionBus &operator=(const SessionBus &) = delete;

    // False when the user has no session bus, or it did not take the connection within the
    // limit.
    bool open(std::chrono::milliseconds limit);
    void close();
    [[nodiscard]] bool isOpen() const { return m_bus != nullptr; }
    [[nodiscard]] sd_bus *get() const { return m_bus; }
    // The connection to wait on; -1 once closed.
    [[nodiscard]] int fd() const;
    // Dispatches the messages that arrived to their handlers; false when the bus is gone, for
    // the owner to let go of what it added to it before it closes it.
    bool dispatchArrived();

private:
    sd_bus *m_bus = nullptr;
};

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
