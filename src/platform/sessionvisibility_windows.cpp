#include "sessionvisibility.h"

namespace Qolvi_Desktop_Agent {

bool seesUserSession() {
    // The process and window lists are the session's own: a process of the session always
    // sees them.
    return true;
}

} // namespace Qolvi_Desktop_Agent
