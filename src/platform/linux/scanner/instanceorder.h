#pragma once

#include "platform/linux/scanner/scannedprocess.h"

#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// One identifier per instance, in the order the instances started: a unit's processes of one
// identifier are one instance, and so are a process's children that have its identifier, and
// an application's helpers while the application runs.
[[nodiscard]] std::vector<std::string>
orderedIdentifiers(const std::unordered_map<pid_t, ScannedProcess> &processes,
                   unsigned long long scan);

} // namespace Qolvi_Desktop_Agent::linux_backend
