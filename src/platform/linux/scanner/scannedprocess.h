#pragma once

#include "platform/linux/evidence/evidencetable.h"
#include "platform/linux/process/fingerprintcache.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// A process as the scanner keeps it between scans.
struct ScannedProcess {
    ino_t inode = 0;      // of the process's /proc directory
    bool foreign = false; // another user's: looked at only when it owns a window
    bool foreignLookedAt = false;
    bool xwayland = false;
    Source source = Source::none; // the evidence that named it
    pid_t parent = 0;
    unsigned long long startTime = 0;
    std::string identifier;
    bool helper = false; // an application's helper, part of a running instance
    // Named an installed application by what the candidate controls, though its own file
    // is not that application's.
    bool claim = false;
    // The program file the kernel runs for it, where it may exec another in place; another
    // one is an exec in place.
    std::optional<FileKey> running;
    // The cgroup of the application unit it runs in: its processes of one identifier are
    // one instance.
    std::string unitPath;
    // The program files read for it, whose fingerprints stay while it runs.
    std::vector<FileKey> files;
    unsigned long long seenInScan = 0;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
