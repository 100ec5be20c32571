#pragma once

#include "platform/linux/evidence/evidencetable.h"
#include "platform/linux/scanner/scannedprocess.h"
#include "platform/linux/windowlists/windowidentity.h"

#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

class DesktopEntryIndex;
struct ScannerSources;

// The window rows of the evidence table at work: the window sources the session has, and
// what their windows say of the processes that own them.
class WindowEvidence {
public:
    using Processes = std::unordered_map<pid_t, ScannedProcess>;
    // Reads another user's process that owns a window, as any user may; false when it ended.
    using LookAtForeign = std::function<bool(pid_t, ScannedProcess &)>;
    // The installed entries, brought up to date once a scan when first asked for.
    using Entries = std::function<const DesktopEntryIndex &()>;

    explicit WindowEvidence(const ScannerSources &sources);

    // Names the processes that own windows, where the window sources outrank what named them;
    // whether any changed.
    bool apply(Processes &processes, bool processesChanged, const Entries &entries,
               const LookAtForeign &lookAtForeign);
    // The applications that windows without a known owner name and no process does, each once.
    [[nodiscard]] const std::vector<std::string> &unownedWindowIds() const {
        return m_unownedWindowIds;
    }
    // Whether a window source found that the desktop lists its windows only from the user's
    // next login on.
    [[nodiscard]] bool needsNewLogin() const;

private:
    [[nodiscard]] std::vector<std::string> listUnowned(const Processes &processes,
                                                       const Entries &entries) const;

    struct WindowSource {
        Source source;
        std::unique_ptr<WindowList> list;
    };
    std::vector<WindowSource> m_windowSources;
    std::vector<std::string> m_unownedWindowIds;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
