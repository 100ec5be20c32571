// The native Wayland windows as a source of evidence: whichever way the session's compositor
// lists them to another client, chosen when the source is first asked. A compositor's own
// protocol comes first (wlroots' and KDE's lists, with sway's IPC for the PIDs), then the
// project's GNOME Shell extension, then a KWin script where KWin refuses its protocol; with none
// of them, only the processes name applications.

#include "platform/linux/evidence/evidence.h"
#include "platform/linux/scanner/applicationscanner.h"
#include "platform/linux/wayland/compositor/waylandtoplevels.h"
#include "platform/linux/wayland/gnome-shell/gnomeshellwindows.h"
#include "platform/linux/wayland/kwin/kwinscriptwindows.h"
#include "platform/linux/windows/backgroundwindows.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace {

using namespace std::chrono_literals;
using wayland::Toplevel;

constexpr auto extensionStartLimit = 10s;

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

class ListerWindows : public WindowList {
public:
    [[nodiscard]] virtual bool connected() const = 0;
};

// One of the listers, whose toplevels it hands on as windows when they change.
template <typename Lister>
class ToplevelWindows final : public ListerWindows {
public:
    explicit ToplevelWindows(std::unique_ptr<Lister> lister)
        : m_lister(std::move(lister)) {
        convert();
    }

    bool refresh(const SessionState &) override {
        if (!m_lister->refresh() && !m_fresh) {
            return false;
        }
        m_fresh = false;
        convert();
        return true;
    }
    [[nodiscard]] const std::vector<OwnedWindow> &windows() const override { return m_windows; }
    [[nodiscard]] bool connected() const override { return m_lister->connected(); }

private:
    void convert() {
        m_windows.clear();
        for (const Toplevel &toplevel : m_lister->toplevels()) {
            m_windows.push_back(ownedWindow(toplevel));
        }
    }

    std::unique_ptr<Lister> m_lister;
    bool m_fresh = true; // the windows listed on opening are news to the first refresh
    std::vector<OwnedWindow> m_windows;
};

template <typename Lister>
std::unique_ptr<ListerWindows> windowsOf(std::unique_ptr<Lister> lister) {
    if (!lister) {
        return nullptr;
    }
    return std::make_unique<ToplevelWindows<Lister>>(std::move(lister));
}

class WaylandWindowSource final : public WindowList {
public:
    WaylandWindowSource(wayland::WaylandToplevels::Options options,
                        std::vector<std::filesystem::path> dataDirs)
        : m_options(std::move(options))
        , m_dataDirs(std::move(dataDirs)) {}

    bool refresh(const SessionState &session) override {
        bool changed = false;
        const auto now = std::chrono::steady_clock::now();
        if (m_windows && !m_windows->connected()) {
            changed = !m_windows->windows().empty();
            m_windows.reset();
            // A lister that went away is looked for again at once: an extension turned off is
            // turned on again, not left off for the next 30 s.
            m_nextAttempt = now;
        }
        if (!m_windows && now >= m_nextAttempt) {
            // Asking again now and then finds a compositor or extension that came later,
            // without a tick that waits on one that is not there.
            m_nextAttempt = now + 30s;
            m_windows = open();
        }
        return (m_windows && m_windows->refresh(session)) || changed;
    }

    [[nodiscard]] const std::vector<OwnedWindow> &windows() const override {
        static const std::vector<OwnedWindow> none;
        return m_windows ? m_windows->windows() : none;
    }
    [[nodiscard]] bool needsNewLogin() const override { return m_needsNewLogin; }

private:
    std::unique_ptr<ListerWindows> open() {
        if (auto windows = windowsOf(wayland::WaylandToplevels::open(m_options))) {
            return windows;
        }
        if (auto windows = windowsOf(wayland::GnomeShellWindows::open(m_options.answerLimit))) {
            m_enabledAt.reset();
            return windows;
        }
        // The package's GNOME Shell extension is off: installed but not yet turned on for the
        // user, or turned off since. A shell that refused runs it only from the next login.
        if (!m_needsNewLogin) {
            using Enabling = wayland::GnomeShellWindows::Enabling;
            const Enabling enabling =
                wayland::GnomeShellWindows::enableExtension(m_options.answerLimit);
            // The shell keeps the extensions it found at its start until the user logs in again.
            m_needsNewLogin = enabling == Enabling::refused &&
                              wayland::GnomeShellWindows::installedIn(m_dataDirs);
            if (enabling == Enabling::enabled) {
                if (auto windows =
                        windowsOf(wayland::GnomeShellWindows::open(m_options.answerLimit))) {
                    m_enabledAt.reset();
                    return windows;
                }
                // The shell starts the extension a moment after it answers: look again at each
                // tick for a while, but not at every tick for good for a shell that never starts
                // it (its user turned all extensions off).
                const auto now = std::chrono::steady_clock::now();
                if (!m_enabledAt) {
                    m_enabledAt = now;
                }
                if (now - *m_enabledAt < extensionStartLimit) {
                    m_nextAttempt = now;
                }
            }
        }
        return windowsOf(wayland::KWinScriptWindows::open(m_options.connectLimit));
    }

    wayland::WaylandToplevels::Options m_options;
    std::vector<std::filesystem::path> m_dataDirs;
    std::unique_ptr<ListerWindows> m_windows;
    std::chrono::steady_clock::time_point m_nextAttempt{};
    // When the extension was last turned on, until it runs.
    std::optional<std::chrono::steady_clock::time_point> m_enabledAt;
    bool m_needsNewLogin = false;
};

} // namespace

std::unique_ptr<WindowList> openWaylandWindows(const ScannerSources &sources) {
    if (!sources.waylandSession) {
        return nullptr;
    }
    return std::make_unique<BackgroundWindows>(
        [dataDirs = sources.dataDirs]() -> std::unique_ptr<WindowList> {
            return std::make_unique<WaylandWindowSource>(
                wayland::WaylandToplevels::optionsFromEnvironment(), dataDirs);
        },
        sources.windowAnswerWait);
}

} // namespace Qolvi_Desktop_Agent::linux_backend
