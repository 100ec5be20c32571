#include "platform/linux/wayland/nativewindowsource.h"

#include "platform/linux/scanner/scannersources.h"
#include "platform/linux/wayland/gnome-shell/gnomeshellwindows.h"
#include "platform/linux/wayland/kwin/kwinscriptwindows.h"
#include "platform/linux/windowlists/backgroundwindows.h"

namespace Qolvi_Desktop_Agent::linux_backend {

namespace wayland {

using namespace std::chrono_literals;

NativeWindowSource::NativeWindowSource(CompositorWindows::Options options,
                                       std::vector<std::filesystem::path> dataDirs)
    : m_options(std::move(options))
    , m_extension(std::move(dataDirs)) {}

bool NativeWindowSource::refresh(const SessionState &session) {
    bool changed = false;
    const auto now = std::chrono::steady_clock::now();
    if (m_lister && !m_lister->connected()) {
        changed = !m_lister->windows().empty();
        m_lister.reset();
        // A lister that went away is looked for again at once: an extension turned off is
        // turned on again, not left off for the next 30 s.
        m_nextAttempt = now;
    }
    if (!m_lister && now >= m_nextAttempt) {
        // Asking again now and then finds a compositor or extension that came later, without a
        // tick that waits on one that is not there.
        m_nextAttempt = now + 30s;
        m_lister = open();
    }
    return (m_lister && m_lister->refresh(session)) || changed;
}

const std::vector<OwnedWindow> &NativeWindowSource::windows() const {
    static const std::vector<OwnedWindow> none;
    return m_lister ? m_lister->windows() : none;
}

std::unique_ptr<ListerView> NativeWindowSource::open() {
    if (auto lister = viewOf(CompositorWindows::open(m_options))) {
        return lister;
    }
    if (auto lister = viewOf(GnomeShellWindows::open(m_options.answerLimit))) {
        m_extension.running();
        return lister;
    }
    if (m_extension.turnOn(m_options.answerLimit)) {
        if (auto lister = viewOf(GnomeShellWindows::open(m_options.answerLimit))) {
            m_extension.running();
            return lister;
        }
        if (m_extension.mayStartSoon()) {
            m_nextAttempt = std::chrono::steady_clock::now();
        }
    }
    return viewOf(KWinScriptWindows::open(m_options.connectLimit));
}

} // namespace wayland

std::unique_ptr<WindowList> openWaylandWindows(const ScannerSources &sources) {
    if (!sources.waylandSession) {
        return nullptr;
    }
    return std::make_unique<BackgroundWindows>(
        [dataDirs = sources.dataDirs]() -> std::unique_ptr<WindowList> {
            return std::make_unique<wayland::NativeWindowSource>(
                wayland::CompositorWindows::optionsFromEnvironment(), dataDirs);
        },
        sources.windowAnswerWait);
}

} // namespace Qolvi_Desktop_Agent::linux_backend
