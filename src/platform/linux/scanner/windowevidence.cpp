// The windows of each window source name the processes that own them, where the table lets
// the source speak; another user's process that owns a window on the display is looked at
// then, by what any user may read of it. A window whose owner the source cannot tell (a
// wlroots compositor without an IPC that says) names one more instance of its application,
// unless a process of the user already is one: it stands for a process no rule named.

#include "platform/linux/scanner/windowevidence.h"

#include "platform/linux/entries/desktopentryindex.h"
#include "platform/linux/windowlists/windowmatch.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace Qolvi_Desktop_Agent::linux_backend {

WindowEvidence::WindowEvidence(const ScannerSources &sources) {
    for (const SourceRow &row : evidenceTable()) {
        if (row.openWindows == nullptr) {
            continue;
        }
        // A display server the session does not have gives no source.
        if (auto list = row.openWindows(sources)) {
            m_windowSources.push_back({row.source, std::move(list)});
        }
    }
}

bool WindowEvidence::needsNewLogin() const {
    return std::ranges::any_of(
        m_windowSources, [](const WindowSource &source) { return source.list->needsNewLogin(); });
}

bool WindowEvidence::apply(Processes &processes, bool processesChanged, const Entries &entries,
                           const LookAtForeign &lookAtForeign) {
    const SessionState session{std::any_of(processes.begin(), processes.end(),
                                           [](const auto &item) { return item.second.xwayland; })};
    bool changed = false;
    bool windowsChanged = false;
    for (WindowSource &windowSource : m_windowSources) {
        if (!windowSource.list->refresh(session) && !processesChanged) {
            continue;
        }
        windowsChanged = true;
        for (const OwnedWindow &window : windowSource.list->windows()) {
            const auto found = processes.find(window.owner);
            if (window.owner <= 0 || found == processes.end()) {
                continue;
            }
            ScannedProcess &process = found->second;
            if (process.foreign && !process.foreignLookedAt) {
                process.foreignLookedAt = true;
                if (!lookAtForeign(window.owner, process)) {
                    continue;
                }
                changed = changed || !process.identifier.empty();
            }
            if (!outranks(windowSource.source, process.source)) {
                continue;
            }
            if (std::string id = idForWindow(window.identity, entries()); !id.empty()) {
                process.claim = entries().hasProgram(id);
                process.identifier = std::move(id);
                process.source = windowSource.source;
                changed = true;
            }
        }
    }
    if (windowsChanged) {
        std::vector<std::string> unowned = listUnowned(processes, entries);
        changed = changed || unowned != m_unownedWindowIds;
        m_unownedWindowIds = std::move(unowned);
    }
    return changed;
}

std::vector<std::string> WindowEvidence::listUnowned(const Processes &processes,
                                                     const Entries &entries) const {
    std::vector<std::string> ids;
    std::unordered_set<std::string> named;
    bool namedListed = false;
    for (const WindowSource &windowSource : m_windowSources) {
        for (const OwnedWindow &window : windowSource.list->windows()) {
            if (window.owner > 0) {
                continue;
            }
            std::string id = idForWindow(window.identity, entries());
            if (id.empty() || std::find(ids.begin(), ids.end(), id) != ids.end()) {
                continue;
            }
            if (!std::exchange(namedListed, true)) {
                for (const auto &[pid, process] : processes) {
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
