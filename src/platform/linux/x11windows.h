#pragma once

#include "windowidentity.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

struct xcb_connection_t;

namespace Qolvi_Desktop_Agent::linux_backend {

// The top-level windows of the X display, by the process that owns each: the window manager's
// client list, each client's PID from the X-Resource extension (which the server knows, where
// _NET_WM_PID is only what the client claims) and its identity properties. Each refresh costs
// one round trip while the list stays the same. No call waits on the server for longer than
// a short limit: a server that does not answer gives no windows.
class X11Windows {
public:
    explicit X11Windows(std::string display);
    ~X11Windows();
    X11Windows(const X11Windows &) = delete;
    X11Windows &operator=(const X11Windows &) = delete;

    // Whether the window list changed since the last refresh.
    bool refresh();
    [[nodiscard]] const std::unordered_map<pid_t, WindowIdentity> &byProcess() const {
        return m_byProcess;
    }

private:
    bool connect();
    void disconnect();
    // The reply to a request, once it came within the limit; null when it did not, which ends
    // the connection. The caller frees it.
    [[nodiscard]] void *awaitReply(unsigned sequence);

    std::string m_display;
    xcb_connection_t *m_connection = nullptr;
    unsigned m_root = 0;
    bool m_hasResourceExtension = false;
    std::chrono::steady_clock::time_point m_nextConnectAttempt{};
    struct Atoms {
        unsigned clientList = 0, pid = 0, gtkApplicationId = 0, kdeDesktopFile = 0, utf8 = 0;
    } m_atoms;
    std::vector<unsigned> m_windows;
    std::unordered_map<unsigned, std::pair<pid_t, WindowIdentity>> m_known;
    std::unordered_map<pid_t, WindowIdentity> m_byProcess;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
