// A copy of a system entry's program, under any name, in any folder, deleted or not, is that
// program: the same build ID, or the same executable code.

#include "evidence.h"

#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

std::string nameByCopy(Subject &subject, Knowledge &knowledge) {
    static_cast<void>(subject.program(knowledge.entries));
    const int fd = subject.openProgram();
    subject.programFile = knowledge.entries.fingerprints().add(fd);
    if (fd >= 0) {
        ::close(fd);
    }
    if (!subject.programFile) {
        return {};
    }
    return knowledge.entries.idForCopy(*subject.programFile,
                                       [&subject] { return subject.openProgram(); });
}

} // namespace Qolvi_Desktop_Agent::linux_backend
