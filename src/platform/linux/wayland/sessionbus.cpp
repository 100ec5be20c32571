#include "sessionbus.h"

#include <systemd/sd-bus.h>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

SessionBus::~SessionBus() {
    close();
}

bool SessionBus::open() {
    close();
    if (sd_bus_open_user(&m_bus) < 0) {
        m_bus = nullptr;
    }
    return m_bus != nullptr;
}

void SessionBus::close() {
    sd_bus_flush_close_unref(m_bus);
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
