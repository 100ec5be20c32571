#pragma once

#include "platform/linux/windowlists/windowidentity.h"

#include <sys/types.h>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// The application ID the agent's own window declares to the display server.
inline constexpr const char *ownApplicationId = "com.qolvi.DesktopAgent";

// What a window list says of the agent's own window: a compositor gives the PID of a window's
// owner from the compositor's PID namespace, so an agent in a namespace of its own finds its
// window under a PID that is not its own getpid().
enum class OwnWindowOwner { unknown, ownPid, otherPid };

// Unknown while no window with the agent's application ID has an owner's PID; the agent's own
// PID among them wins, since a second agent's window may show beside it.
[[nodiscard]] OwnWindowOwner ownWindowOwner(const std::vector<OwnedWindow> &windows, pid_t ownPid);

// Kept from a window source's thread as its lists come in: once a list shows the agent's window
// under another PID, the agent runs in another PID namespace for the rest of its life.
void noteOwnWindow(const std::vector<OwnedWindow> &windows);
[[nodiscard]] bool ownWindowOwnedElsewhere();

} // namespace Qolvi_Desktop_Agent::linux_backend
