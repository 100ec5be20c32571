// The user's own entries name only programs that no system entry names; the index never lets
// them take a system entry's program or ID.

#include "platform/linux/evidence/sources/sources.h"

namespace Qolvi_Desktop_Agent::linux_backend {

std::string nameByUserEntry(ExaminedProcess &examined, EvidenceContext &context) {
    if (std::string id = context.entries.idForProgram(examined.program(context.entries),
                                                      DesktopEntryIndex::Tier::user);
        !id.empty()) {
        return id;
    }
    return nameScript(examined, context, DesktopEntryIndex::Tier::user);
}

} // namespace Qolvi_Desktop_Agent::linux_backend
