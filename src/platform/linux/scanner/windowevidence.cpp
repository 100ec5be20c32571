// The windows of each window source name the processes that own them, where the table lets
// the source speak; another user's process that owns a window on the display is looked at
// then, by what any user may read of it. A window whose owner the source cannot tell (a
// wlroots compositor without an IPC that says) names one more instance of its application,
// unless a process of the user already is one: it stands for a process no rule named.

#include "platform/linux/process/procreader.h"
#include "platform/linux/scanner/applicationscanner.h"
#include "platform/linux/windows/windowmatch.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace Qolvi_Desktop_Agent::linux_backend {

bool ApplicationScanner::applyWindows(bool processesChanged) {
    const SessionState session{std::any_of(m_processes.begin(), m_processes.end(),
                                           [](const auto &item) { return item.second.xwayland; })};
    bool changed = false;
    bool windowsChanged = false;
    for (WindowSource &windowSource : m_windowSources) {
        if (!windowSource.list->refresh(session) && !processesChanged) {
            continue;
        }
        windowsChanged = true;
        for (const OwnedWindow &window : windowSource.list->windows()) {
            const auto found = m_processes.find(window.owner);
            if (window.owner <= 0 || found == m_processes.end()) {
                continue;
            }
            Process &process = found->second;
            if (process.foreign && !process.foreignLookedAt) {
                process.foreignLookedAt = true;
                const auto status = ProcReader(m_procRootFd).status(window.owner);
                if (!status) {
                    continue;
                }
                process.parent = status->parent;
                process.startTime = status->startTime;
                identify(window.owner, process);
                changed = changed || !process.identifier.empty();
            }
            if (!maySpeak(windowSource.source, process.source)) {
                continue;
            }
            if (std::string id = idForWindow(window.identity, knowledge().entries); !id.empty()) {
                process.claim = knowledge().entries.hasProgram(id);
                process.identifier = std::move(id);
                process.source = windowSource.source;
                changed = true;
            }
        }
    }
    if (windowsChanged) {
        std::vector<std::string> unowned = unownedWindowIds();
        changed = changed || unowned != m_unownedWindowIds;
        m_unownedWindowIds = std::move(unowned);
    }
    return changed;
}

std::vector<std::string> ApplicationScanner::unownedWindowIds() {
    std::vector<std::string> ids;
    std::unordered_set<std::string> named;
    bool namedListed = false;
    for (const WindowSource &windowSource : m_windowSources) {
        for (const OwnedWindow &window : windowSource.list->windows()) {
            if (window.owner > 0) {
                continue;
            }
            std::string id = idForWindow(window.identity, knowledge().entries);
            if (id.empty() || std::find(ids.begin(), ids.end(), id) != ids.end()) {
                continue;
            }
            if (!std::exchange(namedListed, true)) {
                for (const auto &[pid, process] : m_processes) {
                    named.insert(process.identifier);
                }
            }
            if (!named.contains(id)) {
                ids.push_back(std::move(id));
            }
        }
    }
    return ids;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
