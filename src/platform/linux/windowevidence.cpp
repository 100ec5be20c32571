// The windows of each window source name the processes that own them, where the table lets
// the source speak; another user's process that owns a window on the display is looked at
// then, by what any user may read of it.

#include "applicationscanner.h"
#include "procreader.h"
#include "windowmatch.h"

#include <algorithm>

namespace Qolvi_Desktop_Agent::linux_backend {

bool ApplicationScanner::applyWindows(bool processesChanged) {
    const SessionState session{std::any_of(m_processes.begin(), m_processes.end(),
                                           [](const auto &item) { return item.second.xwayland; })};
    bool changed = false;
    for (WindowSource &windowSource : m_windowSources) {
        if (!windowSource.list->refresh(session) && !processesChanged) {
            continue;
        }
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
                process.identifier = std::move(id);
                process.source = windowSource.source;
                changed = true;
            }
        }
    }
    return changed;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
