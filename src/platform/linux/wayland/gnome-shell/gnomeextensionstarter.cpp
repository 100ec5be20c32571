#include "platform/linux/wayland/gnome-shell/gnomeextensionstarter.h"

#include "platform/linux/wayland/gnome-shell/gnomeshellextension.h"

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

namespace {
constexpr auto extensionStartLimit = std::chrono::seconds(10);
} // namespace

bool GnomeExtensionStarter::turnOn(std::chrono::milliseconds limit) {
    if (m_needsNewLogin) {
        return false;
    }
    using Enabling = GnomeShellExtension::Enabling;
    const Enabling enabling = GnomeShellExtension::enable(limit);
    // The shell keeps the extensions it found at its start until the user logs in again.
    m_needsNewLogin = enabling == Enabling::refused && GnomeShellExtension::installedIn(m_dataDirs);
    return enabling == Enabling::enabled;
}

bool GnomeExtensionStarter::mayStartSoon() {
    const auto now = std::chrono::steady_clock::now();
    if (!m_turnedOnAt) {
        m_turnedOnAt = now;
    }
    return now - *m_turnedOnAt < extensionStartLimit;
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
