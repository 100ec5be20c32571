#include "platform/linux/evidence/evidencetable.h"

#include "platform/linux/evidence/sources/sources.h"
#include "platform/linux/wayland/nativewindowsource.h"
#include "platform/linux/x11/x11windowsource.h"

#include <array>

namespace Qolvi_Desktop_Agent::linux_backend {

std::span<const SourceRow> evidenceTable() {
    // Each source speaks only where the ones above it said nothing. Window sources name the
    // processes that own windows once a scan has listed them, where outranks lets them; the
    // native Wayland windows are the row beside the X11 one, and neither renames what the other
    // named.
    static constexpr std::array rows{
        SourceRow{Source::sandbox, nameBySandbox, nullptr, false},
        SourceRow{Source::program, nameByProgram, nullptr, true},
        SourceRow{Source::copy, nameByCopy, nullptr, false},
        SourceRow{Source::interpreter, nameByInterpreter, nullptr, true},
        SourceRow{Source::belied, nullptr, nullptr, true},
        SourceRow{Source::x11Window, nullptr, openX11Windows, true},
        SourceRow{Source::waylandWindow, nullptr, openWaylandWindows, true},
        SourceRow{Source::unit, nameByUnit, nullptr, false},
        SourceRow{Source::launch, nameByLaunch, nullptr, false},
        SourceRow{Source::userEntry, nameByUserEntry, nullptr, false},
    };
    return rows;
}

Naming identifyProcess(ExaminedProcess &examined, EvidenceContext &context) {
    for (const SourceRow &row : evidenceTable()) {
        if (row.source == Source::belied && examined.contradicted()) {
            return {std::string(unknownProgram), Source::belied};
        }
        if (row.name == nullptr || (examined.foreign() && !row.forOtherUsers)) {
            continue;
        }
        if (std::string identifier = row.name(examined, context); !identifier.empty()) {
            return {std::move(identifier), row.source};
        }
    }
    return {};
}

} // namespace Qolvi_Desktop_Agent::linux_backend
