#pragma once

#include "platform/linux/windowlists/windowidentity.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// A window source asked on a thread of its own, so that a display server, compositor or bus peer
// that does not answer never holds up the scan: each refresh hands the source the session and
// waits for its answer a short while only; an answer that comes later is taken at the next
// refresh, and until then the windows last listed stand. The source, made by the opener on that
// thread, lists its windows there once unasked, and is asked nothing anywhere else.
class BackgroundWindows final : public WindowList {
public:
    using Opener = std::function<std::unique_ptr<WindowList>()>;

    BackgroundWindows(Opener open, std::chrono::milliseconds wait);
    ~BackgroundWindows() override;

    bool refresh(const SessionState &session) override;
    [[nodiscard]] const std::vector<OwnedWindow> &windows() const override { return m_windows; }
    [[nodiscard]] bool needsNewLogin() const override { return m_needsNewLogin; }

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
    std::chrono::milliseconds m_wait;
    std::vector<OwnedWindow> m_windows;
    bool m_needsNewLogin = false;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
