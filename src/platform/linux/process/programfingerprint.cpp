#include "platform/linux/process/programfingerprint.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace {

constexpr std::size_t noteBytesLimit = 4096;
constexpr unsigned segmentsLimit = 64;
// A file that is no program is hashed whole; nothing a desktop entry runs is larger.
constexpr std::uint64_t wholeFileLimit = std::uint64_t{256} * 1024 * 1024;

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

// A file's first page, read at once: a program's headers and notes are nearly always in it.
class FileHead {
public:
    explicit FileHead(int fd)
        : m_fd(fd) {
        const ssize_t count = ::pread(fd, m_bytes.data(), m_bytes.size(), 0);
        m_size = count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    bool read(void *buffer, std::size_t size, std::uint64_t offset) const {
        if (offset <= m_size && size <= m_size - offset) {
            std::memcpy(buffer, m_bytes.data() + offset, size);
            return true;
        }
        return readAt(m_fd, buffer, size, static_cast<off_t>(offset));
    }

private:
    int m_fd;
    std::array<unsigned char, 4096> m_bytes{};
    std::size_t m_size = 0;
};

// The program headers of a 64-bit ELF program, the class every program of this platform has;
// none for any other file.
std::vector<Elf64_Phdr> programHeaders(const FileHead &head) {
    Elf64_Ehdr header{};
    if (!head.read(&header, sizeof header, 0) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr) ||
        header.e_phnum == 0 || header.e_phnum > segmentsLimit) {
        return {};
    }
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    if (!head.read(segments.data(), segments.size() * sizeof(Elf64_Phdr), header.e_phoff)) {
        return {};
    }
    return segments;
}

bool isCode(const Elf64_Phdr &segment) {
    return segment.p_type == PT_LOAD && (segment.p_flags & PF_X) != 0 && segment.p_filesz > 0;
}

// A cryptographic hash: two programs are the same only when no one could make them collide.
class Sha256 {
public:
    Sha256()
        : m_context(EVP_MD_CTX_new()) {
        m_ok = m_context != nullptr && EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) == 1;
    }
    ~Sha256() { EVP_MD_CTX_free(m_context); }
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    bool add(int fd, std::uint64_t from, std::uint64_t size) {
        std::array<unsigned char, 65536> buffer{};
        for (std::uint64_t done = 0; m_ok && done < size;) {
            const auto wanted =
                static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - done));
            const ssize_t count =
                ::pread(fd, buffer.data(), wanted, static_cast<off_t>(from + done));
            if (count <= 0) {
                return false;
            }
            m_ok = EVP_DigestUpdate(m_context, buffer.data(), static_cast<std::size_t>(count)) == 1;
            done += static_cast<std::uint64_t>(count);
        }
        return m_ok;
    }
    [[nodiscard]] std::string text() {
        std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
        unsigned int length = 0;
        if (!m_ok || EVP_DigestFinal_ex(m_context, digest.data(), &length) != 1) {
            return {};
        }
        return hex(digest.data(), length);
    }

private:
    EVP_MD_CTX *m_context;
    bool m_ok = false;
};

std::uint64_t regularFileSize(int fd) {
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

} // namespace

int openProgramFile(const std::string &path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

ProgramFingerprint programFingerprint(int fd) {
    ProgramFingerprint fingerprint;
    const std::uint64_t size = regularFileSize(fd);
    if (size == 0) {
        return fingerprint;
    }
    fingerprint.readable = true;
    const FileHead head(fd);
    const std::vector<Elf64_Phdr> segments = programHeaders(head);
    if (segments.empty()) {
        fingerprint.codeSize = size;
        return fingerprint;
    }
    fingerprint.elf = true;
    for (const Elf64_Phdr &segment : segments) {
        if (isCode(segment)) {
            fingerprint.codeSize += segment.p_filesz;
        } else if (segment.p_type == PT_NOTE && segment.p_filesz > 0 &&
                   fingerprint.buildId.empty()) {
            std::vector<unsigned char> notes(
                std::min<std::size_t>(segment.p_filesz, noteBytesLimit));
            if (head.read(notes.data(), notes.size(), segment.p_offset)) {
                fingerprint.buildId = buildIdInNotes(notes);
            }
        }
    }
    return fingerprint;
}

std::string codeHash(int fd) {
    const std::uint64_t size = regularFileSize(fd);
    if (size == 0) {
        return {};
    }
    Sha256 hash;
    const std::vector<Elf64_Phdr> segments = programHeaders(FileHead(fd));
    if (segments.empty()) {
        return size <= wholeFileLimit && hash.add(fd, 0, size) ? hash.text() : std::string();
    }
    for (const Elf64_Phdr &segment : segments) {
        if (isCode(segment) && !hash.add(fd, segment.p_offset, segment.p_filesz)) {
            return {};
        }
    }
    return hash.text();
}

} // namespace Qolvi_Desktop_Agent::linux_backend
