#include "platform/linux/wayland/compositor/swayipc.h"

#include "platform/linux/support/peercredentials.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

namespace {

constexpr std::string_view magic = "i3-ipc";
constexpr std::uint32_t getTree = 4;
constexpr std::size_t headerSize = magic.size() + 2 * sizeof(std::uint32_t);
// A tree of a few hundred windows is well under a megabyte; more is not an answer to trust.
constexpr std::uint32_t largestAnswer = 16U << 20U;

class Socket {
public:
    explicit Socket(int fd)
        : m_fd(fd) {}
    ~Socket() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    [[nodiscard]] int fd() const { return m_fd; }

private:
    int m_fd;
};

using Clock = std::chrono::steady_clock;

// Moves all of the buffer in the direction given before the deadline.
template <typename Transfer>
bool transferAll(int fd, short direction, char *data, std::size_t size, Clock::time_point deadline,
                 Transfer transfer) {
    std::size_t done = 0;
    while (done < size) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd events{fd, direction, 0};
        if (left.count() <= 0 || ::poll(&events, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        const ssize_t moved = transfer(fd, data + done, size - done);
        if (moved <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(moved);
    }
    return true;
}

bool sendAll(int fd, const char *data, std::size_t size, Clock::time_point deadline) {
    return transferAll(fd, POLLOUT, const_cast<char *>(data), size, deadline,
                       [](int socket, char *bytes, std::size_t count) {
                           return ::send(socket, bytes, count, MSG_NOSIGNAL);
                       });
}

bool receiveAll(int fd, char *data, std::size_t size, Clock::time_point deadline) {
    return transferAll(
        fd, POLLIN, data, size, deadline,
        [](int socket, char *bytes, std::size_t count) { return ::recv(socket, bytes, count, 0); });
}

void collectViews(const nlohmann::json &node, std::vector<Toplevel> &views) {
    if (!node.is_object()) {
        return;
    }
    // Only views carry the shell that made them; workspaces and split containers do not.
    const auto pid = node.find("pid");
    if (node.contains("shell") && pid != node.end() && pid->is_number_integer() &&
        pid->get<long long>() > 0) {
        Toplevel view{.appId = {}, .pid = static_cast<pid_t>(pid->get<long long>()), .entryId = {}};
        if (const auto appId = node.find("app_id"); appId != node.end() && appId->is_string()) {
            view.appId = appId->get<std::string>();
        } else if (const auto properties = node.find("window_properties");
                   properties != node.end() && properties->is_object()) {
            const auto windowClass = properties->find("class");
            if (windowClass != properties->end() && windowClass->is_string()) {
                view.appId = windowClass->get<std::string>();
            }
        }
        views.push_back(std::move(view));
    }
    for (const char *children : {"nodes", "floating_nodes"}) {
        if (const auto found = node.find(children); found != node.end() && found->is_array()) {
            for (const auto &child : *found) {
                collectViews(child, views);
            }
        }
    }
}

} // namespace

std::string SwayIpc::socketPath(const char *swaySock, const char *runtimeDir, uid_t uid,
                                pid_t pid) {
    if (swaySock != nullptr && *swaySock != '\0') {
        return swaySock;
    }
    if (runtimeDir == nullptr || *runtimeDir == '\0') {
        return {};
    }
    return std::string(runtimeDir) + "/sway-ipc." + std::to_string(uid) + '.' +
           std::to_string(pid) + ".sock";
}

std::optional<std::vector<Toplevel>>
SwayIpc::windows(const std::string &socketPath, pid_t compositor, std::chrono::milliseconds limit) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.fd() < 0 ||
        ::connect(socket.fd(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        return std::nullopt;
    }
    if (const auto peer = peerCredentials(socket.fd()); !peer || peer->pid != compositor) {
        return std::nullopt;
    }

    const auto deadline = Clock::now() + limit;
    std::array<char, headerSize> header{};
    std::memcpy(header.data(), magic.data(), magic.size());
    const std::uint32_t noPayload = 0;
    std::memcpy(header.data() + magic.size(), &noPayload, sizeof noPayload);
    std::memcpy(header.data() + magic.size() + sizeof noPayload, &getTree, sizeof getTree);
    if (!sendAll(socket.fd(), header.data(), header.size(), deadline) ||
        !receiveAll(socket.fd(), header.data(), header.size(), deadline) ||
        std::string_view(header.data(), magic.size()) != magic) {
        return std::nullopt;
    }
    std::uint32_t length = 0;
    std::uint32_t type = 0;
    std::memcpy(&length, header.data() + magic.size(), sizeof length);
    std::memcpy(&type, header.data() + magic.size() + sizeof length, sizeof type);
    if (type != getTree || length > largestAnswer) {
        return std::nullopt;
    }
    std::string payload(length, '\0');
    if (!receiveAll(socket.fd(), payload.data(), payload.size(), deadline)) {
        return std::nullopt;
    }
    return parseTree(payload);
}

std::optional<std::vector<Toplevel>> SwayIpc::parseTree(std::string_view json) {
    const auto tree = nlohmann::json::parse(json, nullptr, false);
    if (tree.is_discarded() || !tree.is_object()) {
        return std::nullopt;
    }
    std::vector<Toplevel> views;
    collectViews(tree, views);
    return views;
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
