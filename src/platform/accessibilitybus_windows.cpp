#include "accessibilitybus.h"

namespace Qolvi_Desktop_Agent {

// Windows has no accessibility bus: assistive technology reaches the window through UI
// Automation, which Qt serves without help.
void joinAccessibilityBus() {}

} // namespace Qolvi_Desktop_Agent
