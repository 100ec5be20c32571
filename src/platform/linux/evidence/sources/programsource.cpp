// A program that a system entry runs is that entry's application: as its Exec or TryExec
// program, the program its wrapper execs, a D-Bus service of the entry's name, or a helper in
// the private folder of the entry's program.

#include "platform/linux/evidence/sources/sources.h"

namespace Qolvi_Desktop_Agent::linux_backend {

std::string nameByProgram(ExaminedProcess &examined, EvidenceContext &context) {
    const ProgramQuestion &question = examined.program(context.entries);
    std::string id = context.entries.idForProgram(question, DesktopEntryIndex::Tier::system);
    if (!id.empty() && !examined.runsFileAtPath(context.entries.fingerprints())) {
        // Another file mounted at the program's path: what it is, a copy may still tell.
        examined.belie();
        return {};
    }
    examined.helper = !id.empty() && context.entries.isHelper(question.executable);
    return id;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
