#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

// One top-level window as the compositor reports it: the application ID the window gave itself
// (possibly empty), the PID of the process that owns it where the compositor says so, and the
// desktop entry the compositor itself matched it with where it says that (GNOME Shell: an
// entry's ID, ".desktop" and all).
struct Toplevel {
    std::string appId;
    std::optional<pid_t> pid;
    std::string entryId;

    friend bool operator==(const Toplevel &, const Toplevel &) = default;
};

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
