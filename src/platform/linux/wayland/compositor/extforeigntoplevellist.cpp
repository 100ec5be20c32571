#include "ext-foreign-toplevel-list-v1-client-protocol.h"
#include "platform/linux/wayland/compositor/toplevelprotocol.h"

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

namespace {

class ExtForeignToplevelList final : public ToplevelProtocol {
public:
    explicit ExtForeignToplevelList(ext_foreign_toplevel_list_v1 *list)
        : m_list(list) {
        ext_foreign_toplevel_list_v1_add_listener(m_list, &listListener, this);
    }
    ~ExtForeignToplevelList() override {
        for (const auto &window : windows()) {
            ext_foreign_toplevel_handle_v1_destroy(
                static_cast<ext_foreign_toplevel_handle_v1 *>(window->handle));
        }
        ext_foreign_toplevel_list_v1_destroy(m_list);
    }
    ExtForeignToplevelList(const ExtForeignToplevelList &) = delete;
    ExtForeignToplevelList &operator=(const ExtForeignToplevelList &) = delete;

    [[nodiscard]] const char *protocol() const override {
        return ext_foreign_toplevel_list_v1_interface.name;
    }

private:
    static Window *window(void *data) { return static_cast<Window *>(data); }

    static void toplevel(void *data, ext_foreign_toplevel_list_v1 *,
                         ext_foreign_toplevel_handle_v1 *handle) {
        auto *self = static_cast<ExtForeignToplevelList *>(data);
        ext_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, self->add(handle));
    }
    static void finished(void *data, ext_foreign_toplevel_list_v1 *) {
        static_cast<ExtForeignToplevelList *>(data)->m_finished = true;
    }
    static void closed(void *data, ext_foreign_toplevel_handle_v1 *) {
        ext_foreign_toplevel_handle_v1_destroy(
            static_cast<ext_foreign_toplevel_handle_v1 *>(remove(window(data))));
    }
    static void done(void *data, ext_foreign_toplevel_handle_v1 *) { commit(window(data)); }
    static void title(void *, ext_foreign_toplevel_handle_v1 *, const char *) {}
    static void appId(void *data, ext_foreign_toplevel_handle_v1 *, const char *id) {
        window(data)->pendingAppId = id;
    }
    static void identifier(void *, ext_foreign_toplevel_handle_v1 *, const char *) {}

    static constexpr ext_foreign_toplevel_list_v1_listener listListener{toplevel, finished};
    static constexpr ext_foreign_toplevel_handle_v1_listener handleListener{closed, done, title,
                                                                            appId, identifier};

    ext_foreign_toplevel_list_v1 *m_list;
};

} // namespace

std::unique_ptr<ToplevelProtocol> bindExtForeignToplevelList(WaylandConnection &connection) {
    const auto global = connection.global(ext_foreign_toplevel_list_v1_interface.name);
    if (!global) {
        return nullptr;
    }
    auto *list = static_cast<ext_foreign_toplevel_list_v1 *>(wl_registry_bind(
        connection.registry(), global->name, &ext_foreign_toplevel_list_v1_interface, 1));
    return std::make_unique<ExtForeignToplevelList>(list);
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
