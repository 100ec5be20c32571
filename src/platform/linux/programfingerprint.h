#pragma once

#include <string>

namespace Qolvi_Desktop_Agent::linux_backend {

// What a copy of a program shares with the program, whatever its name or folder: the build ID
// an ELF linker wrote into it ("build-id:<hex>"), or else its size and a hash of its two ends
// ("content:<size>:<hash>"), read through an open descriptor, so that a file deleted since a
// process started it can still be read through /proc/PID/exe. "" when it cannot be read.
[[nodiscard]] std::string programFingerprint(int fd);
// The same of the file at a path.
[[nodiscard]] std::string fileFingerprint(const std::string &path);

} // namespace Qolvi_Desktop_Agent::linux_backend
