#include "platform/linux/wayland/bus/sessionbus.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <systemd/sd-bus.h>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

namespace {

// The session bus as the library finds it for the user: the address the session announces,
// else the socket in the runtime folder.
std::string sessionAddress() {
    if (const char *address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr) {
        return address;
    }
    const char *runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    return runtimeDir != nullptr ? std::string("unix:path=") + runtimeDir + "/bus" : "";
}

} // namespace

SessionBus::~SessionBus() {
    close();
}

bool SessionBus::open(std::chrono::milliseconds limit) {
    close();
    using Clock = std::chrono::steady_clock;
    const auto microseconds = static_cast<std::uint64_t>(limit.count()) * 1000U;
    const std::string address = sessionAddress();
    // The library's own opening would wait for the bus's greeting for up to 25 s.
    if (address.empty() || sd_bus_new(&m_bus) < 0 ||
        sd_bus_set_address(m_bus, address.c_str()) < 0 || sd_bus_set_bus_client(m_bus, 1) < 0 ||
        sd_bus_set_trusted(m_bus, 1) < 0 ||
        sd_bus_set_method_call_timeout(m_bus, microseconds) < 0 || sd_bus_start(m_bus) < 0) {
        sd_bus_unref(m_bus);
        m_bus = nullptr;
        return false;
    }
    const auto deadline = Clock::now() + limit;
    while (sd_bus_is_ready(m_bus) <= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        const int processed = sd_bus_process(m_bus, nullptr);
        if (processed < 0 || left.count() <= 0) {
            close();
            return false;
        }
        if (processed == 0) {
            sd_bus_wait(m_bus, static_cast<std::uint64_t>(left.count()));
        }
    }
    return true;
}

void SessionBus::close() {
    // Closing without flushing: a bus that stopped reading would hold the close for good.
    sd_bus_close_unref(m_bus);
    m_bus = nullptr;
}

int SessionBus::fd() const {
    return m_bus != nullptr ? sd_bus_get_fd(m_bus) : -1;
}

bool SessionBus::dispatchArrived() {
    if (m_bus == nullptr) {
        return false;
    }
    int processed = 0;
    while ((processed = sd_bus_process(m_bus, nullptr)) > 0) {
    }
    return processed == 0;
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
