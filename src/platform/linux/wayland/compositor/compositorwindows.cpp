#include "platform/linux/wayland/compositor/compositorwindows.h"

#include "platform/linux/wayland/compositor/swayipc.h"
#include "platform/linux/wayland/compositor/toplevelprotocol.h"
#include "platform/linux/wayland/compositor/waylandconnection.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

namespace {
std::string environment(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}
} // namespace

CompositorWindows::Options CompositorWindows::optionsFromEnvironment() {
    return {.display = environment("WAYLAND_DISPLAY"),
            .swaySocket = environment("SWAYSOCK"),
            .runtimeDir = environment("XDG_RUNTIME_DIR")};
}

std::unique_ptr<CompositorWindows> CompositorWindows::open(const Options &options) {
    std::unique_ptr<CompositorWindows> toplevels(new CompositorWindows);
    toplevels->m_options = options;
    toplevels->m_connection = WaylandConnection::open(options.display, options.connectLimit);
    if (!toplevels->m_connection) {
        return nullptr;
    }
    WaylandConnection &connection = *toplevels->m_connection;
    // KDE's own where offered, for its PIDs; of the other two the newer, which compositors keep.
    toplevels->m_protocol = bindPlasmaWindowManagement(connection);
    if (!toplevels->m_protocol) {
        toplevels->m_protocol = bindExtForeignToplevelList(connection);
    }
    if (!toplevels->m_protocol) {
        toplevels->m_protocol = bindWlrForeignToplevelManager(connection);
    }
    // The windows already shown arrive before the answer to the first round trip, and what a
    // protocol that is asked for each window's details says of them before the second.
    if (!toplevels->m_protocol || !connection.roundtrip(options.connectLimit) ||
        !connection.roundtrip(options.connectLimit)) {
        return nullptr;
    }
    const auto compositor = connection.compositorPid();
    const auto compositorUid = connection.compositorUid();
    if (toplevels->m_protocol->givesPids()) {
        toplevels->m_pidSource = PidSource::Compositor;
    } else if (compositor && compositorUid) {
        toplevels->m_swaySocket = SwayIpc::socketPath(
            options.swaySocket.c_str(), options.runtimeDir.c_str(), *compositorUid, *compositor);
        if (SwayIpc::windows(toplevels->m_swaySocket, *compositor, options.connectLimit)) {
            toplevels->m_pidSource = PidSource::SwayIpc;
        }
    }
    toplevels->m_protocol->takeChanged();
    toplevels->askForPids(Retry::Once);
    return toplevels;
}

CompositorWindows::~CompositorWindows() = default;

bool CompositorWindows::refresh() {
    if (!m_connection) {
        return false;
    }
    m_connection->dispatchArrived();
    // A list the compositor ended names no more windows that come or go: counted on, it would
    // stand for the session as it was.
    if (m_connection->broken() || m_protocol->finished()) {
        // The list and its handles go with the connection they were made on.
        m_protocol.reset();
        m_connection.reset();
        const bool hadWindows = !m_toplevels.empty();
        m_toplevels.clear();
        return hadWindows;
    }
    const bool changed = m_protocol->takeChanged();
    if (!changed && !std::exchange(m_pidsIncomplete, false)) {
        return false;
    }
    const auto before = m_toplevels;
    askForPids(changed ? Retry::Once : Retry::Never);
    return m_toplevels != before;
}

void CompositorWindows::askForPids(Retry retry) {
    if (m_pidSource == PidSource::Compositor) {
        m_toplevels = m_protocol->toplevels();
        return;
    }
    std::vector<std::string> appIds;
    for (const Toplevel &toplevel : m_protocol->toplevels()) {
        appIds.push_back(toplevel.appId);
    }
    std::vector<Toplevel> listed;
    if (m_pidSource == PidSource::SwayIpc) {
        const auto compositor = m_connection->compositorPid();
        if (compositor) {
            listed =
                SwayIpc::windows(m_swaySocket, *compositor, m_options.answerLimit).value_or(listed);
        }
    }
    m_toplevels = pairWithProcesses(appIds, listed);
    // A window sway had not placed in its tree yet when asked gets its PID at the next refresh;
    // one that still has none then is not asked about at every tick.
    m_pidsIncomplete = retry == Retry::Once && m_pidSource != PidSource::None &&
                       std::any_of(m_toplevels.begin(), m_toplevels.end(),
                                   [](const Toplevel &toplevel) { return !toplevel.pid; });
}

const char *CompositorWindows::protocol() const {
    return m_protocol ? m_protocol->protocol() : "";
}

bool CompositorWindows::connected() const {
    return m_connection != nullptr;
}

int CompositorWindows::fd() const {
    return m_connection ? m_connection->fd() : -1;
}

std::vector<Toplevel> pairWithProcesses(const std::vector<std::string> &appIds,
                                        const std::vector<Toplevel> &listed) {
    std::vector<bool> taken(listed.size(), false);
    std::vector<Toplevel> paired;
    paired.reserve(appIds.size());
    for (const auto &appId : appIds) {
        Toplevel toplevel{.appId = appId, .pid = std::nullopt, .entryId = {}};
        for (std::size_t i = 0; i < listed.size(); ++i) {
            if (!taken[i] && listed[i].appId == appId) {
                taken[i] = true;
                toplevel.pid = listed[i].pid;
                break;
            }
        }
        paired.push_back(std::move(toplevel));
    }
    return paired;
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
