#include "platform/linux/wayland/listerview.h"

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

// A window's application ID, as desktops match it: an entry's ID, an entry's StartupWMClass,
// or its own reverse-DNS ID; GNOME Shell's extension adds the entry GNOME tracks it by.
OwnedWindow ownedWindow(const Toplevel &toplevel) {
    OwnedWindow window;
    window.owner = toplevel.pid.value_or(0);
    if (!toplevel.appId.empty()) {
        window.identity.applicationIds.push_back(toplevel.appId);
        window.identity.classes.push_back(toplevel.appId);
    }
    if (!toplevel.entryId.empty()) {
        window.identity.applicationIds.push_back(toplevel.entryId);
    }
    return window;
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
