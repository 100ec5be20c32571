#pragma once

namespace Qolvi_Desktop_Agent {

// Makes the platform's termination requests (on Linux: SIGTERM, SIGINT, SIGHUP) quit the
// application's event loop, so that the agent ends as cleanly as when its window is closed.
void quitOnTerminationRequest();

} // namespace Qolvi_Desktop_Agent
