#pragma once

#include "platform/linux/wayland/bus/sessionbus.h"
#include "platform/linux/wayland/compositor/toplevel.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sd_bus_slot;

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

// The windows of a KWin session where KWin refuses this program its window management protocol
// (no installed entry lists it): a small KWin script, loaded over the session bus, calls back
// with each window's class (a native window's application ID) and PID at the start and whenever
// a window comes or goes. Only calls from KWin itself count.
class KWinScriptWindows {
public:
    // Null when KWin is not on the session bus, will not load the script, or the script does not
    // call back within the limit.
    static std::unique_ptr<KWinScriptWindows> open(std::chrono::milliseconds limit);
    ~KWinScriptWindows();
    KWinScriptWindows(const KWinScriptWindows &) = delete;
    KWinScriptWindows &operator=(const KWinScriptWindows &) = delete;

    // Takes the calls that arrived; whether the windows changed. Once the bus is gone, or KWin
    // no longer runs the script, the list is empty and the source is closed.
    bool refresh();
    [[nodiscard]] const std::vector<Toplevel> &toplevels() const { return m_toplevels; }
    [[nodiscard]] bool connected() const { return m_bus.isOpen(); }
    [[nodiscard]] int fd() const { return m_bus.fd(); }

    // The windows of one call back: a JSON list of [class, pid] pairs; none when it is not one.
    static std::optional<std::vector<Toplevel>> parseReport(std::string_view json);

private:
    KWinScriptWindows() = default;
    bool loadScript(std::chrono::milliseconds limit);
    void disconnect();
    // Asks KWin, without waiting, whether it still runs the script, unless a question is out or
    // one was asked within the last second.
    void askWhetherScriptRuns();

    SessionBus m_bus;
    sd_bus_slot *m_object = nullptr;
    std::string m_kwin;       // KWin's unique name on the bus
    std::string m_scriptPath; // the script as written for KWin to read
    std::string m_pluginName;
    sd_bus_slot *m_scriptCheck = nullptr;
    std::chrono::steady_clock::time_point m_nextScriptCheck{};
    bool m_scriptStopped = false;
    bool m_reported = false;
    bool m_changed = false;
    std::vector<Toplevel> m_toplevels;
};

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
