#pragma once

#include <QStringList>

namespace Qolvi_Desktop_Agent {

// The identifiers of the applications the current user is running, in launch order, one entry
// per running instance; applications without an identifier are left out. Each platform has
// its own implementation file beside this header.
[[nodiscard]] QStringList runningApplicationIds();

// Whether the scans so far found that the desktop lists its windows to the agent only from the
// user's next login on (a window extension installed during the session); false before any
// scan. Asks no one: it reads what the last scan found.
[[nodiscard]] bool windowsNeedNewLogin();
// Starts asking the window sources, on threads of their own, so that the first scan finds their
// answers; asks no one on the calling thread.
void startWatchingWindows();

} // namespace Qolvi_Desktop_Agent
