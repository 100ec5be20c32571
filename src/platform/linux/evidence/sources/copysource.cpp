// A copy of a system entry's program, under any name, in any folder, deleted or not, is that
// program: the same build ID, or the same executable code.

#include "platform/linux/evidence/evidence.h"

#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

std::string nameByCopy(Subject &subject, Knowledge &knowledge) {
    static_cast<void>(subject.program(knowledge.entries));
    FingerprintCache &fingerprints = knowledge.entries.fingerprints();
    // Many processes run one file: it is read once, and found again by its key.
    std::optional<FileKey> key = subject.programKey(fingerprints);
    if (!key) {
        return {};
    }
    if (!fingerprints.contains(*key)) {
        const int fd = subject.openProgram();
        key = fingerprints.add(fd);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    subject.programFile = key;
    if (!key || !fingerprints.fingerprint(*key).readable) {
        return {};
    }
    return knowledge.entries.idForCopy(*subject.programFile,
                                       [&subject] { return subject.openProgram(); });
}

} // namespace Qolvi_Desktop_Agent::linux_backend
