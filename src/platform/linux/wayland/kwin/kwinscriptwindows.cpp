#include "platform/linux/wayland/kwin/kwinscriptwindows.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <systemd/sd-bus.h>
#include <unistd.h>
#include <utility>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

namespace {

constexpr const char *objectPath = "/com/qolvi/DesktopAgent/KWinWindows";
constexpr const char *interfaceName = "com.qolvi.DesktopAgent.KWinWindows";

// KWin 5 calls windows clients and KWin 6 windows; the script takes whichever it has.
constexpr const char *scriptTemplate = R"(function report() {
    const windows = (workspace.windowList ? workspace.windowList() : workspace.clientList())
        .filter(window => window.normalWindow || window.dialog)
        .map(window => [window.resourceClass || '', window.pid]);
    callDBus(AGENT, '/com/qolvi/DesktopAgent/KWinWindows', 'com.qolvi.DesktopAgent.KWinWindows', 'Windows',
             JSON.stringify(windows));
}
(workspace.windowAdded || workspace.clientAdded).connect(report);
(workspace.windowRemoved || workspace.clientRemoved).connect(report);
report();
)";

using Clock = std::chrono::steady_clock;

std::uint64_t microseconds(std::chrono::milliseconds limit) {
    return static_cast<std::uint64_t>(limit.count()) * 1000U;
}

} // namespace

std::optional<std::vector<Toplevel>> KWinScriptWindows::parseReport(std::string_view json) {
    const auto report = nlohmann::json::parse(json, nullptr, false);
    if (report.is_discarded() || !report.is_array()) {
        return std::nullopt;
    }
    std::vector<Toplevel> windows;
    for (const auto &window : report) {
        if (!window.is_array() || window.size() != 2 || !window[0].is_string() ||
            !window[1].is_number_integer()) {
            return std::nullopt;
        }
        const auto pid = window[1].get<long long>();
        windows.push_back({.appId = window[0].get<std::string>(),
                           .pid = pid > 0 ? std::optional(static_cast<pid_t>(pid)) : std::nullopt,
                           .entryId = {}});
    }
    return windows;
}

std::unique_ptr<KWinScriptWindows> KWinScriptWindows::open(std::chrono::milliseconds limit) {
    std::unique_ptr<KWinScriptWindows> windows(new KWinScriptWindows);
    if (!windows->m_bus.open(limit)) {
        return nullptr;
    }
    const auto called = [](sd_bus_message *message, void *data, sd_bus_error *) {
        auto *self = static_cast<KWinScriptWindows *>(data);
        const char *sender = sd_bus_message_get_sender(message);
        const char *report = nullptr;
        // Anyone on the bus may call; only KWin, which runs the script, is listened to.
        if (sender == nullptr || self->m_kwin != sender ||
            !sd_bus_message_is_method_call(message, interfaceName, "Windows") ||
            sd_bus_message_read(message, "s", &report) < 0) {
            return sd_bus_reply_method_errorf(message, SD_BUS_ERROR_ACCESS_DENIED,
                                              "Only KWin reports windows");
        }
        if (auto parsed = parseReport(report)) {
            self->m_changed = self->m_changed || *parsed != self->m_toplevels;
            self->m_toplevels = std::move(*parsed);
            self->m_reported = true;
        }
        return sd_bus_reply_method_return(message, "");
    };
    if (sd_bus_add_object(windows->m_bus.get(), &windows->m_object, objectPath, called,
                          windows.get()) < 0 ||
        !windows->loadScript(limit)) {
        return nullptr;
    }
    windows->m_changed = false;
    return windows;
}

bool KWinScriptWindows::loadScript(std::chrono::milliseconds limit) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message *reply = nullptr;
    const char *owner = nullptr;
    const bool kwinFound =
        sd_bus_call_method(m_bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetNameOwner", &error, &reply, "s",
                           "org.kde.KWin") >= 0 &&
        sd_bus_message_read(reply, "s", &owner) >= 0;
    if (kwinFound) {
        m_kwin = owner;
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    const char *unique = nullptr;
    const char *runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (!kwinFound || sd_bus_get_unique_name(m_bus.get(), &unique) < 0 || runtimeDir == nullptr) {
        return false;
    }

    m_pluginName = "qolvi-desktop-agent-windows-" + std::to_string(::getpid());
    m_scriptPath = std::string(runtimeDir) + '/' + m_pluginName + ".js";
    {
        std::ofstream script(m_scriptPath, std::ios::trunc);
        script << "const AGENT = '" << unique << "';\n" << scriptTemplate;
        if (!script) {
            return false;
        }
    }
    sd_bus_message *call = nullptr;
    bool loaded =
        sd_bus_message_new_method_call(m_bus.get(), &call, "org.kde.KWin", "/Scripting",
                                       "org.kde.kwin.Scripting", "loadScript") >= 0 &&
        sd_bus_message_append(call, "ss", m_scriptPath.c_str(), m_pluginName.c_str()) >= 0 &&
        sd_bus_call(m_bus.get(), call, microseconds(limit), &error, &reply) >= 0;
    sd_bus_message_unref(call);
    sd_bus_message_unref(reply);
    reply = nullptr;
    loaded = loaded &&
             sd_bus_message_new_method_call(m_bus.get(), &call, "org.kde.KWin", "/Scripting",
                                            "org.kde.kwin.Scripting", "start") >= 0 &&
             sd_bus_call(m_bus.get(), call, microseconds(limit), &error, &reply) >= 0;
    sd_bus_message_unref(call);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);

    // The script's first call back says which windows are there already.
    const auto deadline = Clock::now() + limit;
    while (loaded && !m_reported && Clock::now() < deadline) {
        if (sd_bus_process(m_bus.get(), nullptr) > 0) {
            continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        sd_bus_wait(m_bus.get(), microseconds(std::max(left, std::chrono::milliseconds(1))));
    }
    return loaded && m_reported;
}

KWinScriptWindows::~KWinScriptWindows() {
    disconnect();
}

void KWinScriptWindows::disconnect() {
    if (m_bus.isOpen() && !m_pluginName.empty()) {
        sd_bus_call_method(m_bus.get(), "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
                           "unloadScript", nullptr, nullptr, "s", m_pluginName.c_str());
    }
    if (!m_scriptPath.empty()) {
        ::unlink(m_scriptPath.c_str());
        m_scriptPath.clear();
    }
    m_scriptCheck = sd_bus_slot_unref(m_scriptCheck);
    sd_bus_slot_unref(m_object);
    m_object = nullptr;
    m_bus.close();
}

bool KWinScriptWindows::refresh() {
    if (!m_bus.isOpen()) {
        return false;
    }
    if (!m_bus.dispatchArrived() || m_scriptStopped) {
        disconnect();
        const bool hadWindows = !m_toplevels.empty();
        m_toplevels.clear();
        return hadWindows;
    }
    askWhetherScriptRuns();
    return std::exchange(m_changed, false);
}

void KWinScriptWindows::askWhetherScriptRuns() {
    const auto now = Clock::now();
    if (m_scriptCheck != nullptr || now < m_nextScriptCheck) {
        return;
    }
    m_nextScriptCheck = now + std::chrono::seconds(1);
    // Anyone may unload the script over the bus; nothing tells the agent but KWin's answer here.
    const auto answered = [](sd_bus_message *reply, void *data, sd_bus_error *) {
        auto *self = static_cast<KWinScriptWindows *>(data);
        self->m_scriptCheck = sd_bus_slot_unref(self->m_scriptCheck);
        int loaded = 1;
        if (sd_bus_message_is_method_error(reply, nullptr) == 0 &&
            sd_bus_message_read(reply, "b", &loaded) >= 0 && loaded == 0) {
            self->m_scriptStopped = true;
        }
        return 0;
    };
    sd_bus_call_method_async(m_bus.get(), &m_scriptCheck, "org.kde.KWin", "/Scripting",
                             "org.kde.kwin.Scripting", "isScriptLoaded", answered, this, "s",
                             m_pluginName.c_str());
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
