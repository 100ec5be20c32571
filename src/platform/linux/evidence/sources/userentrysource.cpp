// The user's own entries name only programs that no system entry names; the index never lets
// them take a system entry's program or ID.

#include "platform/linux/evidence/evidence.h"

namespace Qolvi_Desktop_Agent::linux_backend {

std::string nameByUserEntry(Subject &subject, Knowledge &knowledge) {
    if (std::string id = knowledge.entries.idForProgram(subject.program(knowledge.entries),
                                                        DesktopEntryIndex::Tier::user);
        !id.empty()) {
        return id;
    }
    return nameScript(subject, knowledge, DesktopEntryIndex::Tier::user);
}

} // namespace Qolvi_Desktop_Agent::linux_backend
