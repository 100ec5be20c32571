#pragma once

#include "platform/linux/wayland/compositor/toplevel.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

// The windows of sway's layout tree, each with the PID of its owner, from sway's IPC socket
// (i3's binary framing: the magic "i3-ipc", the payload's length and the message type, in the
// machine's byte order, then JSON). The answer counts only when the socket's other end is the
// compositor the caller is connected to, so an IPC socket set up by anyone else names nothing.
class SwayIpc {
public:
    // The socket sway announces in SWAYSOCK, else the one it makes by default for the
    // compositor process given, in the runtime folder.
    static std::string socketPath(const char *swaySock, const char *runtimeDir, uid_t uid,
                                  pid_t pid);

    // One get_tree exchange, within the limit; none when the socket is missing, belongs to
    // another process than the compositor, or the answer is not a tree.
    static std::optional<std::vector<Toplevel>>
    windows(const std::string &socketPath, pid_t compositor, std::chrono::milliseconds limit);

    // The views of a get_tree answer, tiled and floating, in the tree's order: each view's
    // app_id, or for an X11 view its class, with its PID.
    static std::optional<std::vector<Toplevel>> parseTree(std::string_view json);
};

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
