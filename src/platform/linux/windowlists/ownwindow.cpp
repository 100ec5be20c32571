#include "platform/linux/windowlists/ownwindow.h"

#include <algorithm>
#include <atomic>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace {
std::atomic<bool> ownedElsewhere{false};
} // namespace

OwnWindowOwner ownWindowOwner(const std::vector<OwnedWindow> &windows, pid_t ownPid) {
    OwnWindowOwner owner = OwnWindowOwner::unknown;
    for (const OwnedWindow &window : windows) {
        const auto &ids = window.identity.applicationIds;
        if (window.owner == 0 || std::find(ids.begin(), ids.end(), ownApplicationId) == ids.end()) {
            continue;
        }
        if (window.owner == ownPid) {
            return OwnWindowOwner::ownPid;
        }
        owner = OwnWindowOwner::otherPid;
    }
    return owner;
}

void noteOwnWindow(const std::vector<OwnedWindow> &windows) {
    if (ownWindowOwner(windows, getpid()) == OwnWindowOwner::otherPid) {
        ownedElsewhere.store(true, std::memory_order_relaxed);
    }
}

bool ownWindowOwnedElsewhere() {
    return ownedElsewhere.load(std::memory_order_relaxed);
}

} // namespace Qolvi_Desktop_Agent::linux_backend
