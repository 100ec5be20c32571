#include "platform/linux/wayland/compositor/toplevelprotocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <algorithm>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

namespace {

using Manager = zwlr_foreign_toplevel_manager_v1;
using Handle = zwlr_foreign_toplevel_handle_v1;

class WlrForeignToplevels final : public ToplevelProtocol {
public:
    explicit WlrForeignToplevels(Manager *manager)
        : m_manager(manager) {
        zwlr_foreign_toplevel_manager_v1_add_listener(m_manager, &managerListener, this);
    }
    ~WlrForeignToplevels() override {
        for (const auto &window : windows()) {
            zwlr_foreign_toplevel_handle_v1_destroy(static_cast<Handle *>(window->handle));
        }
        zwlr_foreign_toplevel_manager_v1_destroy(m_manager);
    }
    WlrForeignToplevels(const WlrForeignToplevels &) = delete;
    WlrForeignToplevels &operator=(const WlrForeignToplevels &) = delete;

    [[nodiscard]] const char *protocol() const override {
        return zwlr_foreign_toplevel_manager_v1_interface.name;
    }

private:
    static Window *window(void *data) { return static_cast<Window *>(data); }

    static void toplevel(void *data, Manager *, Handle *handle) {
        auto *self = static_cast<WlrForeignToplevels *>(data);
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, self->add(handle));
    }
    static void finished(void *data, Manager *) {
        static_cast<WlrForeignToplevels *>(data)->m_finished = true;
    }
    static void title(void *, Handle *, const char *) {}
    static void appId(void *data, Handle *, const char *id) { window(data)->pendingAppId = id; }
    static void outputEnter(void *, Handle *, wl_output *) {}
    static void outputLeave(void *, Handle *, wl_output *) {}
    static void state(void *, Handle *, wl_array *) {}
    static void done(void *data, Handle *) { commit(window(data)); }
    static void closed(void *data, Handle *) {
        zwlr_foreign_toplevel_handle_v1_destroy(static_cast<Handle *>(remove(window(data))));
    }
    static void parent(void *, Handle *, Handle *) {}

    static constexpr zwlr_foreign_toplevel_manager_v1_listener managerListener{toplevel, finished};
    static constexpr zwlr_foreign_toplevel_handle_v1_listener handleListener{
        title, appId, outputEnter, outputLeave, state, done, closed, parent};

    Manager *m_manager;
};

} // namespace

std::unique_ptr<ToplevelProtocol> bindWlrForeignToplevelManager(WaylandConnection &connection) {
    const auto global = connection.global(zwlr_foreign_toplevel_manager_v1_interface.name);
    if (!global) {
        return nullptr;
    }
    // Version 3 adds only the parent event; later versions are not known to this code.
    const std::uint32_t version = std::min<std::uint32_t>(global->version, 3);
    auto *manager = static_cast<Manager *>(wl_registry_bind(
        connection.registry(), global->name, &zwlr_foreign_toplevel_manager_v1_interface, version));
    return std::make_unique<WlrForeignToplevels>(manager);
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
