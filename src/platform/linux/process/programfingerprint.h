#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace Qolvi_Desktop_Agent::linux_backend {

// What a copy of a program shares with the program, whatever its name, folder or the bytes
// around its code: the size of its executable code (the loadable segments mapped executable),
// and the build ID an ELF linker wrote into it, which anyone can overwrite: it only says which
// program to compare with. A file that is no ELF program is known by its whole size. The code
// itself is hashed only when a build ID or a size agrees, which is rare.
struct ProgramFingerprint {
    std::string buildId; // "build-id:<hex>" or "go-build-id:<hex>", or ""
    bool elf = false;
    std::uint64_t codeSize = 0; // of the executable segments, or of the whole file
    bool readable = false;
};

// A descriptor to read a program file by, which never waits on a FIFO or a device nor makes a
// terminal the controlling one; -1 when it cannot be opened. The caller closes it.
[[nodiscard]] int openProgramFile(const std::string &path);

// Read through an open descriptor, so that a file deleted since a process started it can still
// be read through /proc/PID/exe. Not readable when it is no regular file or is empty.
[[nodiscard]] ProgramFingerprint programFingerprint(int fd);
// The SHA-256 of the code the fingerprint's size counts: the executable segments of an ELF program,
// the whole of any other file. "" when it cannot be read.
[[nodiscard]] std::string codeHash(int fd);

} // namespace Qolvi_Desktop_Agent::linux_backend
