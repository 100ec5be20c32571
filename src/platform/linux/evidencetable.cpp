#include "evidence.h"

#include <array>

namespace Qolvi_Desktop_Agent::linux_backend {

std::span<const SourceRow> evidenceTable() {
    // Each source speaks only where the ones above it said nothing. Window sources name the
    // processes that own windows once a scan has listed them, where maySpeak lets them.
    static constexpr std::array rows{
        SourceRow{Source::sandbox, nameBySandbox, false},
        SourceRow{Source::program, nameByProgram, true},
        SourceRow{Source::copy, nameByCopy, false},
        SourceRow{Source::interpreter, nameByInterpreter, true},
        SourceRow{Source::unit, nameByUnit, false},
        SourceRow{Source::x11Window, nullptr, true},
        SourceRow{Source::launch, nameByLaunch, false},
        SourceRow{Source::userEntry, nameByUserEntry, false},
    };
    return rows;
}

Naming identifyProcess(Subject &subject, Knowledge &knowledge) {
    for (const SourceRow &row : evidenceTable()) {
        if (row.name == nullptr || (subject.foreign() && !row.forOtherUsers)) {
            continue;
        }
        if (std::string identifier = row.name(subject, knowledge); !identifier.empty()) {
            return {std::move(identifier), row.source};
        }
    }
    return {};
}

} // namespace Qolvi_Desktop_Agent::linux_backend
