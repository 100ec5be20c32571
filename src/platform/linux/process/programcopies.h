#pragma once

#include "platform/linux/process/fingerprintcache.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// The desktop entries' programs by what a copy of each shares with it: its code, compared by
// its hash with the programs its build ID or its code size picks. Each program is read when a
// copy is first asked about, not for every scan that needs none, and its code only when
// another file's build ID or code size picks it.
class ProgramCopies {
public:
    void clear(FingerprintCache &cache);
    // A program, with the key of its file when the index has read it already.
    void add(std::string program, std::string desktopId, std::optional<FileKey> key = {});
    // The desktop ID whose program the file with this key is a copy of, or "". `open` opens
    // that file again when its code must be hashed.
    [[nodiscard]] std::string idFor(const FileKey &key, const std::function<int()> &open,
                                    FingerprintCache &cache);

private:
    void readPrograms(FingerprintCache &cache);

    struct Program {
        std::string path;
        std::string desktopId;
        std::optional<FileKey> key;
        bool elf = false;
    };
    std::vector<Program> m_programs; // in the order the index gives them, the first wins
    bool m_read = false;
    std::unordered_map<std::string, std::vector<std::size_t>> m_byBuildId;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> m_byCodeSize;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
