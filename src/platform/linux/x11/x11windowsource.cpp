#include "platform/linux/x11/x11windowsource.h"

#include "platform/linux/scanner/scannersources.h"
#include "platform/linux/windowlists/backgroundwindows.h"
#include "platform/linux/x11/x11windows.h"

namespace Qolvi_Desktop_Agent::linux_backend {

X11WindowSource::X11WindowSource(std::string display, bool waylandSession, Opener open)
    : m_display(std::move(display))
    , m_waylandSession(waylandSession)
    , m_open(std::move(open)) {}

bool X11WindowSource::refresh(const SessionState &session) {
    if (m_display.empty() || (m_waylandSession && !session.xwaylandRunning)) {
        return false;
    }
    if (!m_windows) {
        m_windows = m_open ? m_open(m_display) : std::make_unique<X11Windows>(m_display);
    }
    return m_windows != nullptr && m_windows->refresh(session);
}

const std::vector<OwnedWindow> &X11WindowSource::windows() const {
    static const std::vector<OwnedWindow> none;
    return m_windows != nullptr ? m_windows->windows() : none;
}

std::unique_ptr<WindowList> openX11Windows(const ScannerSources &sources) {
    // Connecting alone can wait for good on a server that takes the connection and never
    // answers its setup.
    return std::make_unique<BackgroundWindows>(
        [display = sources.display, wayland = sources.waylandSession,
         open = sources.openX11Display]() -> std::unique_ptr<WindowList> {
            return std::make_unique<X11WindowSource>(display, wayland, open);
        },
        sources.windowAnswerWait);
}

} // namespace Qolvi_Desktop_Agent::linux_backend
