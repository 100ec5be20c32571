#include "plasma-window-management-client-protocol.h"
#include "platform/linux/wayland/compositor/toplevelprotocol.h"

#include <algorithm>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

namespace {

using Manager = org_kde_plasma_window_management;
using Handle = org_kde_plasma_window;

// Version 16 is the one Debian 12's protocol description knows; later ones only add events.
constexpr std::uint32_t newestKnownVersion = 16;

class PlasmaWindowManagement final : public ToplevelProtocol {
public:
    PlasmaWindowManagement(Manager *manager, std::uint32_t version)
        : m_manager(manager)
        , m_version(version) {
        org_kde_plasma_window_management_add_listener(m_manager, &managerListener, this);
    }
    ~PlasmaWindowManagement() override {
        for (const auto &window : windows()) {
            org_kde_plasma_window_destroy(static_cast<Handle *>(window->handle));
        }
        org_kde_plasma_window_management_destroy(m_manager);
    }
    PlasmaWindowManagement(const PlasmaWindowManagement &) = delete;
    PlasmaWindowManagement &operator=(const PlasmaWindowManagement &) = delete;

    [[nodiscard]] const char *protocol() const override {
        return org_kde_plasma_window_management_interface.name;
    }
    [[nodiscard]] bool givesPids() const override { return true; }

private:
    static Window *window(void *data) { return static_cast<Window *>(data); }
    static PlasmaWindowManagement *self(void *data) {
        return static_cast<PlasmaWindowManagement *>(data);
    }

    void follow(Handle *handle) {
        org_kde_plasma_window_add_listener(handle, &windowListener, add(handle));
        // Before version 4 no event says when a window's first state is complete: it counts at
        // once.
        if (m_version < ORG_KDE_PLASMA_WINDOW_INITIAL_STATE_SINCE_VERSION) {
            commit(window(org_kde_plasma_window_get_user_data(handle)));
        }
    }

    // A compositor that speaks version 13 or later announces each window with its UUID, and
    // with its number only to older clients.
    static void announced(void *data, Manager *manager, std::uint32_t id) {
        if (self(data)->m_version <
            ORG_KDE_PLASMA_WINDOW_MANAGEMENT_WINDOW_WITH_UUID_SINCE_VERSION) {
            self(data)->follow(org_kde_plasma_window_management_get_window(manager, id));
        }
    }
    static void announcedWithUuid(void *data, Manager *manager, std::uint32_t, const char *uuid) {
        self(data)->follow(org_kde_plasma_window_management_get_window_by_uuid(manager, uuid));
    }
    static void appIdChanged(void *data, Handle *, const char *appId) {
        window(data)->pendingAppId = appId;
        // After its first state, each change of a window stands on its own.
        if (window(data)->shown) {
            commit(window(data));
        }
    }
    static void pidChanged(void *data, Handle *, std::uint32_t pid) {
        setPid(window(data), static_cast<pid_t>(pid));
    }
    static void initialState(void *data, Handle *) { commit(window(data)); }
    static void unmapped(void *data, Handle *) {
        org_kde_plasma_window_destroy(static_cast<Handle *>(remove(window(data))));
    }

    // Listeners filled by name, so that a newer protocol description with more events builds
    // too: the events past the version bound are never sent.
    static const org_kde_plasma_window_management_listener managerListener;
    static const org_kde_plasma_window_listener windowListener;

    Manager *m_manager;
    std::uint32_t m_version;
};

template <typename... Arguments>
void ignore(void *, Arguments...) {}

const org_kde_plasma_window_management_listener PlasmaWindowManagement::managerListener = [] {
    org_kde_plasma_window_management_listener listener{};
    listener.show_desktop_changed = ignore<Manager *, std::uint32_t>;
    listener.window = announced;
    listener.stacking_order_changed = ignore<Manager *, wl_array *>;
    listener.stacking_order_uuid_changed = ignore<Manager *, const char *>;
    listener.window_with_uuid = announcedWithUuid;
    return listener;
}();

const org_kde_plasma_window_listener PlasmaWindowManagement::windowListener = [] {
    org_kde_plasma_window_listener listener{};
    listener.title_changed = ignore<Handle *, const char *>;
    listener.app_id_changed = appIdChanged;
    listener.state_changed = ignore<Handle *, std::uint32_t>;
    listener.virtual_desktop_changed = ignore<Handle *, std::int32_t>;
    listener.themed_icon_name_changed = ignore<Handle *, const char *>;
    listener.unmapped = unmapped;
    listener.initial_state = initialState;
    listener.parent_window = ignore<Handle *, Handle *>;
    listener.geometry = ignore<Handle *, std::int32_t, std::int32_t, std::uint32_t, std::uint32_t>;
    listener.icon_changed = ignore<Handle *>;
    listener.pid_changed = pidChanged;
    listener.virtual_desktop_entered = ignore<Handle *, const char *>;
    listener.virtual_desktop_left = ignore<Handle *, const char *>;
    listener.application_menu = ignore<Handle *, const char *, const char *>;
    listener.activity_entered = ignore<Handle *, const char *>;
    listener.activity_left = ignore<Handle *, const char *>;
    listener.resource_name_changed = ignore<Handle *, const char *>;
    return listener;
}();

} // namespace

std::unique_ptr<ToplevelProtocol> bindPlasmaWindowManagement(WaylandConnection &connection) {
    const auto global = connection.global(org_kde_plasma_window_management_interface.name);
    if (!global) {
        return nullptr;
    }
    const std::uint32_t version = std::min(global->version, newestKnownVersion);
    auto *manager = static_cast<Manager *>(wl_registry_bind(
        connection.registry(), global->name, &org_kde_plasma_window_management_interface, version));
    return std::make_unique<PlasmaWindowManagement>(manager, version);
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
