// A program that a system entry runs is that entry's application: as its Exec or TryExec
// program, the program its wrapper execs, a D-Bus service of the entry's name, or a helper in
// the private folder of the entry's program.

#include "platform/linux/evidence/evidence.h"

namespace Qolvi_Desktop_Agent::linux_backend {

std::string nameByProgram(Subject &subject, Knowledge &knowledge) {
    const ProgramQuestion &question = subject.program(knowledge.entries);
    std::string id = knowledge.entries.idForProgram(question, DesktopEntryIndex::Tier::system);
    if (!id.empty() && !subject.runsFileAtPath(knowledge.entries.fingerprints())) {
        // Another file mounted at the program's path: what it is, a copy may still tell.
        subject.belie();
        return {};
    }
    subject.helper = !id.empty() && knowledge.entries.isHelper(question.executable);
    return id;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
