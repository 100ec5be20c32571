#include "platform/linux/entries/systemfiles.h"

#include <algorithm>
#include <sys/stat.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

bool ownedBy(const struct stat &info, uid_t owner) {
    return info.st_uid == 0 || info.st_uid == owner;
}

bool writableByOthers(const struct stat &info) {
    return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

} // namespace

bool isInside(const fs::path &path, const fs::path &folder) {
    const auto mismatch = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return !folder.empty() && mismatch.first == folder.end();
}

bool SystemFiles::ownedFolder(const std::string &folder) {
    if (const auto found = m_folders.find(folder); found != m_folders.end()) {
        return found->second;
    }
    struct stat info {};
    bool owned =
        ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ownedBy(info, m_owner);
    // Where others may write, they may only add files of their own beside the system's.
    const bool sticky = owned && (info.st_mode & S_ISVTX) != 0;
    owned = owned && (!writableByOthers(info) || sticky);
    const fs::path parent = fs::path(folder).parent_path();
    if (owned && parent != folder) {
        owned = ownedFolder(parent.string());
    }
    m_folders.emplace(folder, owned);
    return owned;
}

bool SystemFiles::ownsRunning(const std::string &file) {
    if (const auto found = m_files.find(file); found != m_files.end()) {
        return found->second;
    }
    return m_files.emplace(file, owns(file)).first->second;
}

bool SystemFiles::owns(const fs::path &file) {
    std::error_code error;
    const fs::path canonical = fs::canonical(file, error);
    struct stat info {};
    if (error || ::lstat(canonical.c_str(), &info) != 0 || !ownedBy(info, m_owner) ||
        writableByOthers(info)) {
        return false;
    }
    // A folder is its own to own; a file is its folder's.
    return ownedFolder(S_ISDIR(info.st_mode) ? canonical.string()
                                             : canonical.parent_path().string());
}

} // namespace Qolvi_Desktop_Agent::linux_backend
