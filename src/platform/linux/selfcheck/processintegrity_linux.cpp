#include "platform/linux/selfcheck/processintegrity_linux.h"

#include "deploymentvalues.h"
#include "platform/linux/support/textfields.h"
#include "platform/processintegrity.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <fcntl.h>
#include <link.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::process_integrity {

namespace {

using linux_backend::splitFields;

constexpr std::string_view deletedSuffix = " (deleted)";
constexpr unsigned checksPerMapsRead = 10;

// The loader's count of objects loaded and unloaded, which it gives with every object it lists.
std::optional<std::uint64_t> objectsLoaded() {
    std::optional<std::uint64_t> count;
    dl_iterate_phdr(
        [](dl_phdr_info *info, std::size_t size, void *data) {
            if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) {
                *static_cast<std::optional<std::uint64_t> *>(data) =
                    std::uint64_t(info->dlpi_adds) + std::uint64_t(info->dlpi_subs);
            }
            return 1;
        },
        &count);
    return count;
}

// A whole file of /proc, which tells its size only by its end, read into a text whose room
// stays from one read to the next.
bool readWhole(const std::string &path, std::string &text) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    constexpr std::size_t leastRoom = 16384;
    std::size_t size = 0;
    ssize_t length = 0;
    do {
        size += std::size_t(length);
        if (text.size() - size < leastRoom) {
            text.resize(std::max(text.size() * 2, size + leastRoom));
        }
        length = read(file, text.data() + size, text.size() - size);
    } while (length > 0);
    close(file);
    text.resize(size);
    return length == 0;
}

std::optional<std::string> readWhole(const std::string &path) {
    std::string text;
    return readWhole(path, text) ? std::optional(std::move(text)) : std::nullopt;
}

// The next field of a text separated by runs of white space, taken off its front.
std::string_view takeField(std::string_view &line) {
    constexpr std::string_view space = " \t\n";
    const std::size_t start = line.find_first_not_of(space);
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const std::size_t end = line.find_first_of(space);
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    return field;
}

std::string parentOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

} // namespace

std::vector<ExecutableMapping> executableMappings(std::string_view maps) {
    std::vector<ExecutableMapping> mappings;
    for (std::string_view line : splitFields(maps, '\n')) {
        takeField(line); // addresses
        const std::string_view permissions = takeField(line);
        takeField(line); // offset
        const std::string_view device = takeField(line);
        const std::string_view inodeText = takeField(line);
        ino_t inode = 0;
        std::from_chars(inodeText.data(), inodeText.data() + inodeText.size(), inode);
        if (permissions.size() < 3 || permissions[2] != 'x' || inode == 0) {
            continue;
        }
        std::string_view path = line.substr(std::min(line.find_first_not_of(' '), line.size()));
        const bool deleted = path.ends_with(deletedSuffix);
        if (deleted) {
            path.remove_suffix(deletedSuffix.size());
        }
        ExecutableMapping mapping{std::string(device), inode, std::string(path), deleted};
        // The libraries a process maps once each come in several mappings of which one or two
        // are executable: a repeat is the one just before it.
        if (mappings.empty() || !(mappings.back() == mapping)) {
            mappings.push_back(std::move(mapping));
        }
    }
    return mappings;
}

std::optional<pid_t> tracerPid(std::string_view status) {
    constexpr std::string_view name = "TracerPid:";
    for (const std::string_view line : splitFields(status, '\n')) {
        if (!line.starts_with(name)) {
            continue;
        }
        std::string_view value = line.substr(name.size());
        value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
        pid_t pid = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), pid);
        if (error != std::errc() || end != value.data() + value.size()) {
            return std::nullopt;
        }
        return pid;
    }
    return std::nullopt;
}

Surroundings Surroundings::ofThisProcess() {
    Surroundings surroundings;
    surroundings.judgesExecutable = deployment::vouchesForExecutable;
    surroundings.loaderCount = objectsLoaded;
    return surroundings;
}

ProcessVoucher::ProcessVoucher(Surroundings surroundings)
    : m_surroundings(std::move(surroundings)) {}

bool ProcessVoucher::vouches() {
    const std::string self = m_surroundings.procRoot + "/self/";
    if (!readWhole(self + "status", m_status) || tracerPid(m_status) != pid_t(0) ||
        !ownershipIsReal()) {
        return false;
    }
    if (!m_executable) {
        std::array<char, 4096> target{};
        const ssize_t length = readlink((self + "exe").c_str(), target.data(), target.size());
        m_executable = length > 0 ? std::string(target.data(), std::size_t(length)) : "";
    }
    const std::optional<std::uint64_t> loads =
        m_surroundings.loaderCount ? m_surroundings.loaderCount() : std::nullopt;
    if (loads && loads == m_vouchedLoaderCount && ++m_checksSinceMaps < checksPerMapsRead) {
        return true;
    }
    if (!readWhole(self + "maps", m_maps)) {
        return false;
    }
    m_checksSinceMaps = 0;
    m_vouchedLoaderCount.reset();
    if (m_maps == m_vouchedMaps) {
        m_vouchedLoaderCount = loads;
        return true;
    }
    for (const ExecutableMapping &mapping : executableMappings(m_maps)) {
        const bool isExecutable = !mapping.deleted && mapping.path == *m_executable;
        if ((m_surroundings.judgesExecutable || !isExecutable) && !vouchesFor(mapping)) {
            return false;
        }
    }
    m_vouchedMaps = m_maps;
    m_vouchedLoaderCount = loads;
    return true;
}

bool ProcessVoucher::ownershipIsReal() {
    // Inside a user namespace the user's own files show as root's. A process with threads, as
    // the agent has by its first check, can no longer enter another one.
    if (!m_ownershipIsReal) {
        const std::string map =
            readWhole(m_surroundings.procRoot + "/self/uid_map").value_or(std::string());
        std::string_view rest = map;
        const std::string_view inside = takeField(rest);
        const std::string_view outside = takeField(rest);
        const std::string_view count = takeField(rest);
        m_ownershipIsReal =
            inside == "0" && outside == "0" && count == "4294967295" && takeField(rest).empty();
    }
    return *m_ownershipIsReal;
}

bool ProcessVoucher::vouchesFor(const ExecutableMapping &mapping) {
    // The kernel names the file a mapping came from, but not always by its device as stat
    // gives it (btrfs subvolumes differ): the inode at the path tells whether it is still there.
    const auto identity = std::tuple(mapping.device, mapping.inode, mapping.path);
    if (m_vouchedFiles.contains(identity)) {
        return true;
    }
    // A file removed since, or one that never had a name (shared memory), cannot be looked at.
    if (mapping.deleted || !mapping.path.starts_with('/')) {
        return false;
    }
    struct stat file {};
    if (lstat((m_surroundings.fileRoot + mapping.path).c_str(), &file) != 0 ||
        !S_ISREG(file.st_mode) || file.st_ino != mapping.inode || !onlyRootChanges(file)) {
        return false;
    }
    for (std::string folder = parentOf(mapping.path);; folder = parentOf(folder)) {
        if (!m_vouchedFolders.contains(folder)) {
            struct stat entry {};
            if (lstat((m_surroundings.fileRoot + folder).c_str(), &entry) != 0 ||
                !S_ISDIR(entry.st_mode) || !onlyRootChanges(entry)) {
                return false;
            }
            m_vouchedFolders.insert(folder);
        }
        if (folder == "/") {
            break;
        }
    }
    m_vouchedFiles.insert(identity);
    return true;
}

bool ProcessVoucher::onlyRootChanges(const struct stat &entry) const {
    return entry.st_uid == m_surroundings.trustedOwner &&
           (entry.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace Qolvi_Desktop_Agent::process_integrity

namespace Qolvi_Desktop_Agent {

bool vouchesForOwnProcess() {
    static process_integrity::ProcessVoucher voucher(
        process_integrity::Surroundings::ofThisProcess());
    return voucher.vouches();
}

void guardOwnProcess() {
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    // The window's few bindings run as fast interpreted, and take less memory.
    setenv("QV4_FORCE_INTERPRETER", "1", 1);
}

} // namespace Qolvi_Desktop_Agent
