#pragma once

#include "platform/linux/process/programfingerprint.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <unordered_set>

namespace Qolvi_Desktop_Agent::linux_backend {

// A file as the kernel knows it: another file at the same path, or the same file under another
// path, is told apart; so is a file written since, or a new file given a freed inode number.
struct FileKey {
    dev_t device = 0;
    ino_t inode = 0;
    long long modified = 0; // nanoseconds
    long long size = 0;
    bool operator==(const FileKey &) const = default;
};

[[nodiscard]] inline FileKey fileKeyOf(const struct stat &info) {
    return {info.st_dev, info.st_ino,
            static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec,
            static_cast<long long>(info.st_size)};
}

struct FileKeyHash {
    std::size_t operator()(const FileKey &key) const noexcept {
        return std::hash<unsigned long long>()(key.inode) ^
               (std::hash<unsigned long long>()(key.device) << 1);
    }
};

// Each program file's fingerprint, read once, and its code hashed at most once. The files the
// desktop entries run stay while the entries do; any other stays while a process runs it.
class FingerprintCache {
public:
    // The key of the file open at `fd`, its fingerprint read when it is new; none when it
    // cannot be read.
    [[nodiscard]] std::optional<FileKey> add(int fd, bool entryProgram = false);
    [[nodiscard]] const ProgramFingerprint &fingerprint(const FileKey &key) const;
    [[nodiscard]] bool contains(const FileKey &key) const { return m_items.contains(key); }
    // The file at a path, as found earlier in this scan: many processes run one program, and
    // a path names one file at a time. Forgotten at each scan's start.
    [[nodiscard]] std::optional<FileKey> keyOfPath(const std::string &path) const;
    void rememberPath(const std::string &path, const FileKey &key) { m_keyByPath[path] = key; }
    void startScan() { m_keyByPath.clear(); }
    // The hash of a known file's code, read through `open` (a descriptor the caller's function
    // opens and this closes) the first time it is asked.
    [[nodiscard]] const std::string &codeHash(const FileKey &key, const std::function<int()> &open);
    // Forgets the files of entries that no longer exist.
    void forgetEntryPrograms();
    // Forgets every file no process runs, besides the entries' own.
    void keepOnly(const std::unordered_set<FileKey, FileKeyHash> &running);
    [[nodiscard]] std::size_t size() const { return m_items.size(); }

private:
    struct Item {
        ProgramFingerprint fingerprint;
        std::string codeHash;
        bool hashed = false;
        bool entryProgram = false;
    };
    std::unordered_map<FileKey, Item, FileKeyHash> m_items;
    std::unordered_map<std::string, FileKey> m_keyByPath;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
