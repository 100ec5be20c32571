#include "platform/linux/wayland/compositor/toplevelprotocol.h"

#include <algorithm>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

std::vector<Toplevel> ToplevelProtocol::toplevels() const {
    std::vector<Toplevel> shown;
    for (const auto &window : m_windows) {
        if (window->shown) {
            shown.push_back({.appId = window->appId, .pid = window->pid, .entryId = {}});
        }
    }
    return shown;
}

ToplevelProtocol::Window *ToplevelProtocol::add(void *handle) {
    m_windows.push_back(std::make_unique<Window>(Window{.list = this,
                                                        .handle = handle,
                                                        .pendingAppId = {},
                                                        .appId = {},
                                                        .pid = {},
                                                        .shown = false}));
    return m_windows.back().get();
}

void ToplevelProtocol::commit(Window *window) {
    if (!window->shown || window->appId != window->pendingAppId) {
        window->shown = true;
        window->appId = window->pendingAppId;
        window->list->m_changed = true;
    }
}

void ToplevelProtocol::setPid(Window *window, pid_t pid) {
    if (window->pid != pid) {
        window->pid = pid;
        window->list->m_changed = window->list->m_changed || window->shown;
    }
}

void *ToplevelProtocol::remove(Window *window) {
    ToplevelProtocol *list = window->list;
    void *handle = window->handle;
    list->m_changed = list->m_changed || window->shown;
    std::erase_if(list->m_windows, [window](const auto &known) { return known.get() == window; });
    return handle;
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
