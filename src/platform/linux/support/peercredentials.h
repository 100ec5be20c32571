#pragma once

#include <optional>
#include <sys/socket.h>

namespace Qolvi_Desktop_Agent::linux_backend {

// Who the kernel says is at the other end of a connected local socket: the process and user
// that connected or listened. A PID of 0 means the peer runs in a PID namespace this process
// cannot see into; none when the kernel does not say.
[[nodiscard]] inline std::optional<ucred> peerCredentials(int socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
        return std::nullopt;
    }
    return credentials;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
