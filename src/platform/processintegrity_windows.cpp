#include "processintegrity.h"

namespace Qolvi_Desktop_Agent {

bool vouchesForOwnProcess() {
    // The installer puts the agent where only an administrator writes, and Windows loads its
    // libraries from there first.
    return true;
}

void guardOwnProcess() {}

} // namespace Qolvi_Desktop_Agent
