#pragma once

#include "platform/linux/windowlists/windowidentity.h"

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
class X11Windows final : public WindowList {
public:
    explicit X11Windows(std::string display);
    ~X11Windows() override;

    bool refresh(const SessionState &session) override;
    [[nodiscard]] const std::vector<OwnedWindow> &windows() const override { return m_listed; }

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
    std::unordered_map<unsigned, OwnedWindow> m_known;
    std::vector<OwnedWindow> m_listed;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
