#include "programfingerprint.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace {

// A program without a build ID is told apart by its size and its two ends: a copy has them all,
// and reading a whole large program would cost more than a scan.
constexpr off_t hashedEndBytes = off_t{256} * 1024;
constexpr std::size_t noteBytesLimit = 4096;

bool readAt(int fd, void *buffer, std::size_t size, off_t offset) {
    return ::pread(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

std::string hex(const unsigned char *bytes, std::size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0f];
    }
    return text;
}

std::string buildIdInNotes(const std::vector<unsigned char> &notes) {
    std::size_t offset = 0;
    const auto aligned = [](std::size_t size) { return (size + 3) & ~std::size_t{3}; };
    while (offset + sizeof(Elf64_Nhdr) <= notes.size()) {
        Elf64_Nhdr header{};
        std::memcpy(&header, notes.data() + offset, sizeof header);
        const std::size_t name = offset + sizeof header;
        const std::size_t description = name + aligned(header.n_namesz);
        if (description > notes.size() || header.n_descsz > notes.size() - description) {
            return {};
        }
        // The GNU linker's build ID, or the one Go's linker writes instead.
        if (header.n_type == NT_GNU_BUILD_ID && header.n_namesz == 4 &&
            std::memcmp(notes.data() + name, "GNU", 4) == 0 && header.n_descsz > 0) {
            return "build-id:" + hex(notes.data() + description, header.n_descsz);
        }
        if (header.n_type == 4 && header.n_namesz == 3 &&
            std::memcmp(notes.data() + name, "Go", 3) == 0 && header.n_descsz > 0) {
            return "go-build-id:" + hex(notes.data() + description, header.n_descsz);
        }
        offset = description + aligned(header.n_descsz);
    }
    return {};
}

// The ELF note segments of a 64-bit program, the class every program of this platform has.
std::string elfBuildId(int fd) {
    Elf64_Ehdr header{};
    if (!readAt(fd, &header, sizeof header, 0) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr)) {
        return {};
    }
    for (unsigned index = 0; index < header.e_phnum && index < 64; ++index) {
        Elf64_Phdr segment{};
        if (!readAt(fd, &segment, sizeof segment,
                    static_cast<off_t>(header.e_phoff + index * sizeof segment))) {
            return {};
        }
        if (segment.p_type != PT_NOTE || segment.p_filesz == 0) {
            continue;
        }
        std::vector<unsigned char> notes(std::min<std::size_t>(segment.p_filesz, noteBytesLimit));
        if (readAt(fd, notes.data(), notes.size(), static_cast<off_t>(segment.p_offset))) {
            if (std::string id = buildIdInNotes(notes); !id.empty()) {
                return id;
            }
        }
    }
    return {};
}

std::string contentHash(int fd, off_t size) {
    // FNV-1a: enough to tell programs apart, which is all that is asked of it.
    unsigned long long hash = 14695981039346656037ULL;
    std::array<unsigned char, 65536> buffer{};
    const off_t tail = std::max(size - hashedEndBytes, hashedEndBytes);
    for (const auto &[from, to] : {std::pair{off_t{0}, std::min(size, hashedEndBytes)},
                                   std::pair{std::min(tail, size), size}}) {
        for (off_t offset = from; offset < to;) {
            const auto wanted = static_cast<std::size_t>(
                std::min<off_t>(static_cast<off_t>(buffer.size()), to - offset));
            const ssize_t count = ::pread(fd, buffer.data(), wanted, offset);
            if (count <= 0) {
                return {};
            }
            for (ssize_t i = 0; i < count; ++i) {
                hash = (hash ^ buffer[static_cast<std::size_t>(i)]) * 1099511628211ULL;
            }
            offset += count;
        }
    }
    return "content:" + std::to_string(size) + ":" + std::to_string(hash);
}

} // namespace

std::string programFingerprint(int fd) {
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) {
        return {};
    }
    if (std::string id = elfBuildId(fd); !id.empty()) {
        return id;
    }
    return contentHash(fd, info.st_size);
}

std::string fileFingerprint(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    std::string fingerprint = programFingerprint(fd);
    if (fd >= 0) {
        ::close(fd);
    }
    return fingerprint;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
