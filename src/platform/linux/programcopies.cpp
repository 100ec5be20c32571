#include "programcopies.h"

#include <fcntl.h>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace {

int openFile(const std::string &path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

} // namespace

void ProgramCopies::clear(FingerprintCache &cache) {
    m_programs.clear();
    m_read = false;
    m_idByBuildId.clear();
    m_byCodeSize.clear();
    cache.forgetEntryPrograms();
}

void ProgramCopies::add(std::string program, std::string desktopId, std::optional<FileKey> key) {
    m_programs.push_back({std::move(program), std::move(desktopId), key, false});
}

void ProgramCopies::readPrograms(FingerprintCache &cache) {
    m_read = true;
    for (std::size_t index = 0; index < m_programs.size(); ++index) {
        Program &program = m_programs[index];
        if (!program.key) {
            const int fd = openFile(program.path);
            program.key = cache.add(fd, true);
            if (fd >= 0) {
                ::close(fd);
            }
        }
        if (!program.key) {
            continue;
        }
        const ProgramFingerprint &fingerprint = cache.fingerprint(*program.key);
        program.elf = fingerprint.elf;
        if (!fingerprint.buildId.empty()) {
            m_idByBuildId.try_emplace(fingerprint.buildId, program.desktopId);
        }
        m_byCodeSize[fingerprint.codeSize].push_back(index);
    }
}

std::string ProgramCopies::idFor(const FileKey &key, const std::function<int()> &open,
                                 FingerprintCache &cache) {
    if (!m_read) {
        readPrograms(cache);
    }
    const ProgramFingerprint &fingerprint = cache.fingerprint(key);
    if (!fingerprint.readable) {
        return {};
    }
    if (const auto found = m_idByBuildId.find(fingerprint.buildId);
        !fingerprint.buildId.empty() && found != m_idByBuildId.end()) {
        return found->second;
    }
    // No build ID, another one, or one removed: the same code is the same program.
    const auto sameSize = m_byCodeSize.find(fingerprint.codeSize);
    if (sameSize == m_byCodeSize.end()) {
        return {};
    }
    for (const std::size_t index : sameSize->second) {
        const Program &program = m_programs[index];
        if (program.elf != fingerprint.elf) {
            continue;
        }
        if (!program.key) {
            continue;
        }
        if (*program.key == key) {
            return program.desktopId;
        }
        const std::string &own = cache.codeHash(key, open);
        if (own.empty()) {
            return {};
        }
        if (cache.codeHash(*program.key, [&program] { return openFile(program.path); }) == own) {
            return program.desktopId;
        }
    }
    return {};
}

} // namespace Qolvi_Desktop_Agent::linux_backend
