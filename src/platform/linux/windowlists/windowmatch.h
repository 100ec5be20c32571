#pragma once

#include "platform/linux/entries/desktopentryindex.h"
#include "platform/linux/windowlists/windowidentity.h"

#include <string>
#include <string_view>

namespace Qolvi_Desktop_Agent::linux_backend {

// "org.example.App": an application ID of its own, which the platform reports as given. Like
// a D-Bus name, at least three elements, none empty or starting with a digit ("Gimp-2.10" is
// no ID).
[[nodiscard]] bool isReverseDns(std::string_view id);

// The application a window names, the same for every window source: the first declared ID
// that a system entry has or that is reverse-DNS, else the first class that is a system
// entry's StartupWMClass or ID (without regard to case) or is reverse-DNS. Anything else names
// nothing.
[[nodiscard]] std::string idForWindow(const WindowIdentity &window,
                                      const DesktopEntryIndex &entries);

} // namespace Qolvi_Desktop_Agent::linux_backend
