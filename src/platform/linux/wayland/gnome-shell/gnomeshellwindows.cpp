#include "platform/linux/wayland/gnome-shell/gnomeshellwindows.h"

#include "platform/linux/wayland/gnome-shell/gnomeshellextension.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <systemd/sd-bus.h>
#include <utility>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

namespace {

constexpr const char *shellName = "org.gnome.Shell";
constexpr const char *objectPath = "/com/qolvi/DesktopAgent/Windows";
constexpr const char *interfaceName = "com.qolvi.DesktopAgent.Windows";

std::optional<std::string> nameOwner(const SessionBus &bus, const char *name) {
    sd_bus_message *reply = nullptr;
    const char *owner = nullptr;
    std::optional<std::string> found;
    if (sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetNameOwner", nullptr, &reply, "s",
                           name) >= 0 &&
        sd_bus_message_read(reply, "s", &owner) >= 0) {
        found = owner;
    }
    sd_bus_message_unref(reply);
    return found;
}

} // namespace

std::unique_ptr<GnomeShellWindows> GnomeShellWindows::open(std::chrono::milliseconds limit) {
    std::unique_ptr<GnomeShellWindows> windows(new GnomeShellWindows);
    windows->m_limit = limit;
    if (!windows->m_bus.open(limit)) {
        return nullptr;
    }
    // Only the shell's own connection speaks for the extension: once the extension is off, any
    // program may take its name on the bus.
    auto shell = nameOwner(windows->m_bus, shellName);
    if (!shell || !GnomeShellExtension::isSystemExtension(
                      GnomeShellExtension::systemCopyPath(windows->m_bus, *shell))) {
        return nullptr;
    }
    windows->m_shell = std::move(*shell);
    const auto changed = [](sd_bus_message *, void *data, sd_bus_error *) {
        static_cast<GnomeShellWindows *>(data)->m_changed = true;
        return 0;
    };
    // The extension is turned off, by the candidate or a locked screen say, or the shell ends:
    // the windows are then no longer known, and the source is opened again, which looks at the
    // shell and its extension anew.
    const auto gone = [](sd_bus_message *, void *data, sd_bus_error *) {
        static_cast<GnomeShellWindows *>(data)->m_extensionGone = true;
        return 0;
    };
    const std::string stateRule = "type='signal',sender='" + windows->m_shell +
                                  "',interface='org.gnome.Shell.Extensions',"
                                  "member='ExtensionStateChanged',arg0='" +
                                  GnomeShellExtension::uuid + "'";
    const std::string ownerRule = std::string("type='signal',sender='org.freedesktop.DBus',"
                                              "interface='org.freedesktop.DBus',"
                                              "member='NameOwnerChanged',arg0='") +
                                  shellName + "'";
    // Subscribed before the first list, so that no change between the two goes unseen.
    if (sd_bus_match_signal(windows->m_bus.get(), &windows->m_changedSignal,
                            windows->m_shell.c_str(), objectPath, interfaceName, "Changed", changed,
                            windows.get()) < 0 ||
        sd_bus_add_match(windows->m_bus.get(), &windows->m_stateSignal, stateRule.c_str(), gone,
                         windows.get()) < 0 ||
        sd_bus_add_match(windows->m_bus.get(), &windows->m_ownerSignal, ownerRule.c_str(), gone,
                         windows.get()) < 0 ||
        !windows->list()) {
        return nullptr;
    }
    return windows;
}

GnomeShellWindows::~GnomeShellWindows() {
    disconnect();
}

void GnomeShellWindows::disconnect() {
    sd_bus_slot_unref(m_changedSignal);
    m_changedSignal = nullptr;
    sd_bus_slot_unref(m_ownerSignal);
    m_ownerSignal = nullptr;
    sd_bus_slot_unref(m_stateSignal);
    m_stateSignal = nullptr;
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
        // An extension that no longer answers is opened again, as one turned off is.
        disconnect();
        m_toplevels.clear();
    }
    return m_toplevels != before;
}

bool GnomeShellWindows::list() {
    sd_bus_message *call = nullptr;
    sd_bus_message *reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const auto microseconds = static_cast<std::uint64_t>(m_limit.count()) * 1000U;
    bool answered = sd_bus_message_new_method_call(m_bus.get(), &call, m_shell.c_str(), objectPath,
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
