#include "gnomeshellwindows.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <systemd/sd-bus.h>
#include <utility>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

namespace {
constexpr const char *objectPath = "/com/qolvi/DesktopAgent/Windows";
constexpr const char *interfaceName = "com.qolvi.DesktopAgent.Windows";
} // namespace

std::unique_ptr<GnomeShellWindows> GnomeShellWindows::open(std::chrono::milliseconds limit) {
    std::unique_ptr<GnomeShellWindows> windows(new GnomeShellWindows);
    windows->m_limit = limit;
    if (!windows->m_bus.open()) {
        return nullptr;
    }
    const auto changed = [](sd_bus_message *, void *data, sd_bus_error *) {
        static_cast<GnomeShellWindows *>(data)->m_changed = true;
        return 0;
    };
    // The extension leaves the bus when it is turned off, by the candidate say: the windows
    // are then no longer known, and the source is opened again.
    const auto ownerChanged = [](sd_bus_message *message, void *data, sd_bus_error *) {
        const char *name = nullptr;
        const char *oldOwner = nullptr;
        const char *newOwner = nullptr;
        if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) >= 0 &&
            std::string_view(newOwner).empty()) {
            static_cast<GnomeShellWindows *>(data)->m_extensionGone = true;
        }
        return 0;
    };
    const std::string ownerRule = std::string("type='signal',sender='org.freedesktop.DBus',"
                                              "interface='org.freedesktop.DBus',"
                                              "member='NameOwnerChanged',arg0='") +
                                  busName + "'";
    // Subscribed before the first list, so that no change between the two goes unseen.
    if (sd_bus_match_signal(windows->m_bus.get(), &windows->m_changedSignal, busName, objectPath,
                            interfaceName, "Changed", changed, windows.get()) < 0 ||
        sd_bus_add_match(windows->m_bus.get(), &windows->m_ownerSignal, ownerRule.c_str(),
                         ownerChanged, windows.get()) < 0 ||
        !windows->list()) {
        return nullptr;
    }
    return windows;
}

GnomeShellWindows::Enabling GnomeShellWindows::enableExtension(std::chrono::milliseconds limit) {
    SessionBus bus;
    if (!bus.open()) {
        return Enabling::noShell;
    }
    sd_bus_set_method_call_timeout(bus.get(), static_cast<std::uint64_t>(limit.count()) * 1000);
    sd_bus_message *reply = nullptr;
    int enabled = 0;
    const bool answered = sd_bus_call_method(bus.get(), "org.gnome.Shell", "/org/gnome/Shell",
                                             "org.gnome.Shell.Extensions", "EnableExtension",
                                             nullptr, &reply, "s", extensionUuid) >= 0 &&
                          sd_bus_message_read(reply, "b", &enabled) >= 0;
    sd_bus_message_unref(reply);
    if (!answered) {
        return Enabling::noShell;
    }
    return enabled != 0 ? Enabling::enabled : Enabling::refused;
}

bool GnomeShellWindows::installedIn(const std::vector<std::filesystem::path> &dataDirs) {
    std::error_code error;
    for (const std::filesystem::path &folder : dataDirs) {
        if (std::filesystem::is_regular_file(
                folder / "gnome-shell/extensions" / extensionUuid / "metadata.json", error)) {
            return true;
        }
    }
    return false;
}

GnomeShellWindows::~GnomeShellWindows() {
    disconnect();
}

void GnomeShellWindows::disconnect() {
    sd_bus_slot_unref(m_changedSignal);
    m_changedSignal = nullptr;
    sd_bus_slot_unref(m_ownerSignal);
    m_ownerSignal = nullptr;
    m_bus.close();
}

bool GnomeShellWindows::refresh() {
    if (!m_bus.isOpen()) {
        return false;
    }
    if (!m_bus.dispatchArrived() || m_extensionGone) {
        disconnect();
        const bool hadWindows = !m_toplevels.empty();
        m_toplevels.clear();
        return hadWindows;
    }
    if (!std::exchange(m_changed, false)) {
        return false;
    }
    const auto before = m_toplevels;
    if (!list()) {
        m_toplevels.clear();
    }
    return m_toplevels != before;
}

bool GnomeShellWindows::list() {
    sd_bus_message *call = nullptr;
    sd_bus_message *reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const auto microseconds = static_cast<std::uint64_t>(m_limit.count()) * 1000U;
    bool answered = sd_bus_message_new_method_call(m_bus.get(), &call, busName, objectPath,
                                                   interfaceName, "List") >= 0 &&
                    sd_bus_call(m_bus.get(), call, microseconds, &error, &reply) >= 0 &&
                    sd_bus_message_enter_container(reply, SD_BUS_TYPE_ARRAY, "(ssu)") >= 0;
    std::vector<Toplevel> windows;
    const char *tracked = nullptr;
    const char *own = nullptr;
    std::uint32_t pid = 0;
    int read = 0;
    while (answered && (read = sd_bus_message_read(reply, "(ssu)", &tracked, &own, &pid)) > 0) {
        Toplevel window{.appId = own, .pid = std::nullopt, .entryId = {}};
        if (pid > 0) {
            window.pid = static_cast<pid_t>(pid);
        }
        // A window GNOME matched with no entry it tracks as "window:N", which names nothing.
        if (std::string_view(tracked).ends_with(".desktop")) {
            window.entryId = tracked;
        }
        windows.push_back(std::move(window));
    }
    answered = answered && read == 0;
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    if (answered) {
        m_toplevels = std::move(windows);
    }
    return answered;
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
