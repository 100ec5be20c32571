#pragma once

#include "platform/linux/wayland/compositor/compositorwindows.h"
#include "platform/linux/wayland/gnome-shell/gnomeextensionstarter.h"
#include "platform/linux/wayland/listerview.h"
#include "platform/linux/windowlists/windowidentity.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

struct ScannerSources;

namespace wayland {

// The native Wayland windows as a source of evidence: whichever lister the session's compositor
// offers, chosen when the source is first asked. A compositor's own protocol comes first
// (wlroots' and KDE's lists, with sway's IPC for the PIDs), then the project's GNOME Shell
// extension, turned on where it is off, then a KWin script where KWin refuses its protocol; with
// none of them, only the processes name applications. A lister that goes is looked for again at
// once, and none is looked for again every 30 s.
class NativeWindowSource final : public WindowList {
public:
    NativeWindowSource(CompositorWindows::Options options,
                       std::vector<std::filesystem::path> dataDirs);

    bool refresh(const SessionState &session) override;
    [[nodiscard]] const std::vector<OwnedWindow> &windows() const override;
    [[nodiscard]] bool needsNewLogin() const override { return m_extension.needsNewLogin(); }

private:
    std::unique_ptr<ListerView> open();

    CompositorWindows::Options m_options;
    GnomeExtensionStarter m_extension;
    std::unique_ptr<ListerView> m_lister;
    std::chrono::steady_clock::time_point m_nextAttempt{};
};

} // namespace wayland

// The native Wayland row of the evidence table: the source asked on a thread of its own; null
// outside a Wayland session.
[[nodiscard]] std::unique_ptr<WindowList> openWaylandWindows(const ScannerSources &sources);

} // namespace Qolvi_Desktop_Agent::linux_backend
