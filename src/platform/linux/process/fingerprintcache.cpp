#include "platform/linux/process/fingerprintcache.h"

#include <sys/stat.h>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

std::optional<FileKey> FingerprintCache::add(int fd, bool entryProgram) {
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    const FileKey key = fileKeyOf(info);
    auto [item, added] = m_items.try_emplace(key);
    if (added) {
        item->second.fingerprint = programFingerprint(fd);
    }
    item->second.entryProgram = item->second.entryProgram || entryProgram;
    if (!item->second.fingerprint.readable) {
        return std::nullopt;
    }
    return key;
}

std::optional<FileKey> FingerprintCache::keyOfPath(const std::string &path) const {
    const auto found = m_keyByPath.find(path);
    return found != m_keyByPath.end() ? std::optional(found->second) : std::nullopt;
}

const ProgramFingerprint &FingerprintCache::fingerprint(const FileKey &key) const {
    static const ProgramFingerprint unknown;
    const auto found = m_items.find(key);
    return found != m_items.end() ? found->second.fingerprint : unknown;
}

const std::string &FingerprintCache::codeHash(const FileKey &key,
                                              const std::function<int()> &open) {
    static const std::string none;
    const auto found = m_items.find(key);
    if (found == m_items.end()) {
        return none;
    }
    Item &item = found->second;
    if (!item.hashed) {
        item.hashed = true;
        const int fd = open();
        // The file must still be the one the key names: a path may point elsewhere by now.
        struct stat info {};
        if (fd >= 0 && ::fstat(fd, &info) == 0 && fileKeyOf(info) == key) {
            item.codeHash = linux_backend::codeHash(fd);
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return item.codeHash;
}

void FingerprintCache::forgetEntryPrograms() {
    for (auto &[key, item] : m_items) {
        item.entryProgram = false;
    }
}

void FingerprintCache::keepOnly(const std::unordered_set<FileKey, FileKeyHash> &running) {
    std::erase_if(m_items, [&running](const auto &item) {
        return !item.second.entryProgram && !running.contains(item.first);
    });
}

} // namespace Qolvi_Desktop_Agent::linux_backend
