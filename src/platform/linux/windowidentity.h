#pragma once

#include <string>

namespace Qolvi_Desktop_Agent::linux_backend {

// What a top-level window says of the application it belongs to.
struct WindowIdentity {
    std::string gtkApplicationId; // _GTK_APPLICATION_ID
    std::string kdeDesktopFile;   // _KDE_NET_WM_DESKTOP_FILE
    std::string wmInstance;       // WM_CLASS, its first part
    std::string wmClass;          // WM_CLASS, its second part
};

} // namespace Qolvi_Desktop_Agent::linux_backend
