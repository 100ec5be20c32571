#pragma once

#include <QStringList>

namespace Qolvi_Desktop_Agent {

// The identifiers of the applications the current user is running, in launch order, one entry
// per running instance; applications without an identifier are left out. Each platform has
// its own implementation file beside this header.
[[nodiscard]] QStringList runningApplicationIds();

} // namespace Qolvi_Desktop_Agent
