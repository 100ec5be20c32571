#include "platform/linux/process/procreader.h"

#include "platform/linux/entries/desktopentry.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

template <typename Number>
bool parseNumber(std::string_view text, Number &number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

std::optional<std::string> ProcReader::readFile(const std::string &relativePath, std::size_t limit,
                                                Origin origin) const {
    // A process of the user may put anything at a path inside its own root: a FIFO would block
    // an ordinary open and a read for good, a device would never end. Such files are read only
    // when regular, never blocking, and never past the limit.
    const int fd =
        ::openat(m_procRootFd, relativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    if (origin == Origin::process && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return std::nullopt;
    }
    std::string content;
    std::array<char, 4096> buffer{};
    while (content.size() < limit) {
        const std::size_t wanted = std::min(buffer.size(), limit - content.size());
        const ssize_t count = ::read(fd, buffer.data(), wanted);
        if (count <= 0) {
            break;
        }
        content.append(buffer.data(), static_cast<std::size_t>(count));
        // The kernel hands out a small /proc file whole in one read, and a file on disk ends
        // where a read comes back short: asking again only to be told the end costs a call.
        if (static_cast<std::size_t>(count) < wanted && origin != Origin::kernelPaged) {
            break;
        }
    }
    ::close(fd);
    return content;
}

std::optional<ProcReader::Status> ProcReader::status(pid_t pid) const {
    const auto stat = readFile(std::to_string(pid) + "/stat", smallFileLimit, Origin::kernel);
    if (!stat) {
        return std::nullopt;
    }
    // The command name may hold spaces and parentheses; the fields start after the last ')'.
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    // After the name: state (3), parent (4), ..., start time (22), separated by single spaces.
    std::string_view fields = std::string_view(*stat).substr(close + 1);
    Status status;
    for (int field = 3; field <= 22; ++field) {
        if (fields.empty() || fields.front() != ' ') {
            return std::nullopt;
        }
        fields.remove_prefix(1);
        const std::size_t end = std::min(fields.find(' '), fields.size());
        const std::string_view value = fields.substr(0, end);
        fields.remove_prefix(end);
        if (field == 4 && !parseNumber(value, status.parent)) {
            return std::nullopt;
        }
        if (field == 22 && !parseNumber(value, status.startTime)) {
            return std::nullopt;
        }
    }
    return status;
}

std::optional<uid_t> ProcReader::realUser(pid_t pid) const {
    const auto status = readFile(std::to_string(pid) + "/status", smallFileLimit, Origin::kernel);
    if (!status) {
        return std::nullopt;
    }
    std::string_view lines = *status;
    while (!lines.empty()) {
        std::string_view line = nextLine(lines);
        if (line.substr(0, 4) == "Uid:") {
            line.remove_prefix(4);
            line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
            uid_t user = 0;
            return parseNumber(line.substr(0, line.find_first_of(" \t")), user)
                       ? std::optional<uid_t>(user)
                       : std::nullopt;
        }
    }
    return std::nullopt;
}

std::string ProcReader::cgroupPath(pid_t pid) const {
    const auto cgroup = readFile(std::to_string(pid) + "/cgroup", smallFileLimit, Origin::kernel);
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

ProcReader::FlatpakRecord ProcReader::flatpakRecord(pid_t pid) const {
    const auto info =
        readFile(std::to_string(pid) + "/root/.flatpak-info", smallFileLimit, Origin::process);
    FlatpakRecord record;
    if (!info) {
        return record;
    }
    record.name = parseKeyGroup(*info, "Application")["name"];
    record.appPath = parseKeyGroup(*info, "Instance")["app-path"];
    return record;
}

std::string ProcReader::executable(pid_t pid, bool *deleted) const {
    std::array<char, 4096> target{};
    const std::string link = std::to_string(pid) + "/exe";
    const ssize_t length = ::readlinkat(m_procRootFd, link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
        return {};
    }
    // The kernel gives the path it resolved when the program started: nothing left to resolve.
    std::string path(target.data(), static_cast<std::size_t>(length));
    constexpr std::string_view deletedMark = " (deleted)";
    const bool wasDeleted = path.ends_with(deletedMark);
    if (wasDeleted) {
        path.resize(path.size() - deletedMark.size());
    }
    if (deleted != nullptr) {
        *deleted = wasDeleted;
    }
    return path;
}

bool ProcReader::statExecutable(pid_t pid, struct stat &info) const {
    const std::string link = std::to_string(pid) + "/exe";
    return ::fstatat(m_procRootFd, link.c_str(), &info, 0) == 0;
}

bool ProcReader::sharesMounts(pid_t pid) const {
    struct stat theirs {};
    struct stat ours {};
    const std::string link = std::to_string(pid) + "/ns/mnt";
    return ::fstatat(m_procRootFd, link.c_str(), &theirs, 0) == 0 &&
           ::fstatat(m_procRootFd, "self/ns/mnt", &ours, 0) == 0 && theirs.st_dev == ours.st_dev &&
           theirs.st_ino == ours.st_ino;
}

int ProcReader::openExecutable(pid_t pid) const {
    const std::string link = std::to_string(pid) + "/exe";
    return ::openat(m_procRootFd, link.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

bool ProcReader::mapsCode(pid_t pid, const struct stat &file) const {
    // One line per mapping: "start-end perms offset major:minor inode path", numbers in hex but
    // the inode.
    const auto maps =
        readFile(std::to_string(pid) + "/maps", std::size_t{4} * 1024 * 1024, Origin::kernelPaged);
    if (!maps) {
        return false;
    }
    const std::string device = [&file] {
        std::array<char, 32> text{};
        const int length = std::snprintf(text.data(), text.size(), "%02x:%02x",
                                         ::major(file.st_dev), ::minor(file.st_dev));
        return std::string(text.data(), static_cast<std::size_t>(std::max(length, 0)));
    }();
    const std::string inode = std::to_string(file.st_ino);
    std::string_view lines = *maps;
    while (!lines.empty()) {
        const std::string_view line = nextLine(lines);
        std::array<std::string_view, 5> fields{};
        std::string_view rest = line;
        for (std::string_view &field : fields) {
            rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
            const std::size_t end = std::min(rest.find(' '), rest.size());
            field = rest.substr(0, end);
            rest.remove_prefix(end);
        }
        if (fields[1].size() == 4 && fields[1][2] == 'x' && fields[3] == device &&
            fields[4] == inode) {
            return true;
        }
    }
    return false;
}

std::string ProcReader::standardInputFile(pid_t pid) const {
    const std::string link = std::to_string(pid) + "/fd/0";
    struct stat info {};
    if (::fstatat(m_procRootFd, link.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode)) {
        return {};
    }
    std::array<char, 4096> target{};
    const ssize_t length = ::readlinkat(m_procRootFd, link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size() || target[0] != '/') {
        return {};
    }
    return {target.data(), static_cast<std::size_t>(length)};
}

std::vector<std::string> ProcReader::commandLine(pid_t pid) const {
    const auto text = readFile(std::to_string(pid) + "/cmdline", smallFileLimit, Origin::kernel);
    std::vector<std::string> words;
    if (!text) {
        return words;
    }
    std::size_t start = 0;
    while (start < text->size()) {
        const std::size_t end = std::min(text->find('\0', start), text->size());
        words.emplace_back(*text, start, end - start);
        start = end + 1;
    }
    return words;
}

std::string ProcReader::environmentValue(pid_t pid, std::string_view name) const {
    const auto text = readFile(std::to_string(pid) + "/environ", smallFileLimit, Origin::kernel);
    if (!text) {
        return {};
    }
    std::string_view rest = *text;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\0'), rest.size());
        const std::string_view variable = rest.substr(0, end);
        if (variable.size() > name.size() && variable.starts_with(name) &&
            variable[name.size()] == '=') {
            return std::string(variable.substr(name.size() + 1));
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return {};
}

} // namespace Qolvi_Desktop_Agent::linux_backend
