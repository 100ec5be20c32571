#pragma once

#include "platform/linux/windowlists/windowidentity.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

struct ScannerSources;

// The X display's windows as a source of evidence: asked only where there is one, and in a
// Wayland session only while its Xwayland runs, so that asking never starts one.
class X11WindowSource final : public WindowList {
public:
    using Opener = std::function<std::unique_ptr<WindowList>(const std::string &display)>;
    // Without an opener, the display is asked through X11Windows.
    X11WindowSource(std::string display, bool waylandSession, Opener open = {});

    bool refresh(const SessionState &session) override;
    [[nodiscard]] const std::vector<OwnedWindow> &windows() const override;

private:
    std::string m_display;
    bool m_waylandSession;
    Opener m_open;
    std::unique_ptr<WindowList> m_windows;
};

// The X11 row of the evidence table: the source asked on a thread of its own.
[[nodiscard]] std::unique_ptr<WindowList> openX11Windows(const ScannerSources &sources);

} // namespace Qolvi_Desktop_Agent::linux_backend
