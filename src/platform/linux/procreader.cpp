#include "procreader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace {

constexpr std::size_t smallFileLimit = std::size_t{64} * 1024;

std::string_view nextLine(std::string_view &text) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

} // namespace

std::optional<std::string> ProcReader::readFile(const std::string &relativePath,
                                                std::size_t limit) const {
    // A process of the user may put anything at these paths inside its own root: a FIFO would
    // block an ordinary open and a read for good, a device would never end. Only regular files
    // are read, never blocking, and never past the limit.
    const int fd =
        ::openat(m_procRootFd, relativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string content;
    std::array<char, 4096> buffer{};
    while (content.size() < limit) {
        const ssize_t count =
            ::read(fd, buffer.data(), std::min(buffer.size(), limit - content.size()));
        if (count <= 0) {
            break;
        }
        content.append(buffer.data(), static_cast<std::size_t>(count));
    }
    ::close(fd);
    return content;
}

std::optional<ProcReader::Status> ProcReader::status(pid_t pid) const {
    const auto stat = readFile(std::to_string(pid) + "/stat", smallFileLimit);
    if (!stat) {
        return std::nullopt;
    }
    // The command name may hold spaces and parentheses; the fields start after the last ')'.
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat->substr(close + 1));
    std::string state;
    Status status;
    fields >> state >> status.parent;
    std::string skipped;
    for (int field = 5; field < 22 && fields; ++field) {
        fields >> skipped;
    }
    fields >> status.startTime;
    if (!fields) {
        return std::nullopt;
    }
    return status;
}

std::string ProcReader::cgroupPath(pid_t pid) const {
    const auto cgroup = readFile(std::to_string(pid) + "/cgroup", smallFileLimit);
    if (!cgroup) {
        return {};
    }
    std::string_view text = *cgroup;
    std::string_view systemdPath;
    while (!text.empty()) {
        const std::string_view line = nextLine(text);
        if (line.substr(0, 3) == "0::") {
            return std::string(line.substr(3));
        }
        const std::size_t named = line.find(":name=systemd:");
        if (named != std::string_view::npos) {
            systemdPath = line.substr(named + 14);
        }
    }
    return std::string(systemdPath);
}

std::string ProcReader::flatpakApplication(pid_t pid) const {
    const auto info = readFile(std::to_string(pid) + "/root/.flatpak-info", smallFileLimit);
    if (!info) {
        return {};
    }
    std::string_view text = *info;
    bool inApplication = false;
    while (!text.empty()) {
        const std::string_view line = nextLine(text);
        if (!line.empty() && line.front() == '[') {
            inApplication = line == "[Application]";
        } else if (inApplication && line.substr(0, 5) == "name=") {
            return std::string(line.substr(5));
        }
    }
    return {};
}

std::string ProcReader::executable(pid_t pid) const {
    std::array<char, 4096> target{};
    const std::string link = std::to_string(pid) + "/exe";
    const ssize_t length = ::readlinkat(m_procRootFd, link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
        return {};
    }
    std::string path(target.data(), static_cast<std::size_t>(length));
    // A fixture tree stores the link as it stands; the real /proc gives the resolved path.
    if (std::array<char, PATH_MAX> resolved{}; ::realpath(path.c_str(), resolved.data())) {
        return resolved.data();
    }
    return path;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
