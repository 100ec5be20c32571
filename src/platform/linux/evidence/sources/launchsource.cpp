// How the process was launched: an AppImage's own entry at the top of its mount, else the entry
// GLib's launcher recorded for the process it started.

#include "platform/linux/evidence/sources/sources.h"

#include <algorithm>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

// An AppImage runs from a mount of its own, "/tmp/.mount_<name><random>", whose top holds the
// application's desktop entry.
std::string appImageEntryId(const std::string &executable) {
    const std::size_t mount = executable.find("/.mount_");
    if (mount == std::string::npos) {
        return {};
    }
    const fs::path root = executable.substr(0, executable.find('/', mount + 1));
    std::error_code error;
    std::vector<std::string> entries;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".desktop") {
            entries.push_back(it->path().stem().string());
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries.empty() ? std::string() : entries.front();
}

} // namespace

std::string nameByLaunch(ExaminedProcess &examined, EvidenceContext &context) {
    // A process whose executable cannot be read (a kernel thread, a non-dumpable program)
    // shows no environment either.
    if (examined.executable().empty()) {
        return {};
    }
    if (std::string id = appImageEntryId(examined.executable()); !id.empty()) {
        return id;
    }
    // Children inherit the launcher's variable, but only the process it started has the PID
    // it gives. A parent that starts many of one program (a pool of workers) starts them all
    // alike: reading each environment would cost more than the rest of a scan.
    const std::string siblings = std::to_string(examined.parent()) + '\n' + examined.executable();
    // A launcher starts a few programs alike, which are each read; only a pool is not.
    constexpr unsigned pool = 8;
    unsigned &unlaunched = context.unlaunchedSiblings[siblings];
    if (unlaunched >= pool) {
        return {};
    }
    const ProcReader &reader = examined.reader();
    const std::string launched =
        reader.environmentValue(examined.pid(), "GIO_LAUNCHED_DESKTOP_FILE");
    if (launched.empty()) {
        ++unlaunched;
        return {};
    }
    if (reader.environmentValue(examined.pid(), "GIO_LAUNCHED_DESKTOP_FILE_PID") !=
        std::to_string(examined.pid())) {
        return {};
    }
    return context.entries.idForEntryFile(launched);
}

} // namespace Qolvi_Desktop_Agent::linux_backend
