#include "platform/linux/process/programcopies.h"

#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

void ProgramCopies::clear(FingerprintCache &cache) {
    m_programs.clear();
    m_read = false;
    m_byBuildId.clear();
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
            const int fd = openProgramFile(program.path);
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
            m_byBuildId[fingerprint.buildId].push_back(index);
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
    // A build ID is written by whoever writes the file: it picks a program to compare with,
    // and the code decides. Without one, or with another, the programs of the same code size
    // are compared.
    std::vector<std::size_t> candidates;
    if (const auto found = m_byBuildId.find(fingerprint.buildId);
        !fingerprint.buildId.empty() && found != m_byBuildId.end()) {
        candidates = found->second;
    }
    if (const auto sameSize = m_byCodeSize.find(fingerprint.codeSize);
        sameSize != m_byCodeSize.end()) {
        candidates.insert(candidates.end(), sameSize->second.begin(), sameSize->second.end());
    }
    std::string named;
    for (const std::size_t index : candidates) {
        const Program &program = m_programs[index];
        if (program.elf != fingerprint.elf || !program.key || program.desktopId == named) {
            continue;
        }
        if (*program.key != key) {
            const std::string &own = cache.codeHash(key, open);
            if (own.empty()) {
                return {};
            }
            if (cache.codeHash(*program.key,
                               [&program] { return openProgramFile(program.path); }) != own) {
                continue;
            }
        }
        // The same code shipped by two applications (one runtime, twice) names neither.
        if (!named.empty()) {
            return {};
        }
        named = program.desktopId;
    }
    return named;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
