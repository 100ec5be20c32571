// A copy of a system entry's program, under any name, in any folder, deleted or not, is that
// program: the same build ID, or the same executable code.

#include "platform/linux/evidence/sources/sources.h"

#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

std::string nameByCopy(ExaminedProcess &examined, EvidenceContext &context) {
    static_cast<void>(examined.program(context.entries));
    FingerprintCache &fingerprints = context.entries.fingerprints();
    // Many processes run one file: it is read once, and found again by its key.
    std::optional<FileKey> key = examined.programKey(fingerprints);
    if (!key) {
        return {};
    }
    if (!fingerprints.contains(*key)) {
        const int fd = examined.openProgram();
        key = fingerprints.add(fd);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    examined.programFile = key;
    if (!key || !fingerprints.fingerprint(*key).readable) {
        return {};
    }
    return context.entries.idForCopy(*examined.programFile,
                                     [&examined] { return examined.openProgram(); });
}

} // namespace Qolvi_Desktop_Agent::linux_backend
