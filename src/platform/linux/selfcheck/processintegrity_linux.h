#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <tuple>
#include <vector>

// How the agent vouches for its own process on Linux. Every route by which a user brings code
// into a process (LD_PRELOAD, LD_AUDIT, LD_LIBRARY_PATH, Qt, QML, GTK or input method modules,
// a patched copy of the agent) ends as a file mapped executable, so the process's own maps
// catch them all at once, a plugin loaded late included: each such file must be one only root
// can change, in folders only root can change. Anonymous executable memory (the QML engine's
// compiled code, the vDSO) is no file and is not judged.
namespace Qolvi_Desktop_Agent::process_integrity {

// An executable mapping of a process's maps that is backed by something with an inode.
struct ExecutableMapping {
    std::string device; // major:minor, as maps writes it
    ino_t inode = 0;
    std::string path; // without the kernel's " (deleted)"
    bool deleted = false;

    bool operator==(const ExecutableMapping &) const = default;
};

[[nodiscard]] std::vector<ExecutableMapping> executableMappings(std::string_view maps);

// The TracerPid of a process's status text; nothing when the text has none.
[[nodiscard]] std::optional<pid_t> tracerPid(std::string_view status);

// What the voucher reads: the product's come from the process itself, tests give their own.
struct Surroundings {
    std::string procRoot = "/proc";
    // Put before every mapped path; the product's files are at their own paths.
    std::string fileRoot;
    uid_t trustedOwner = 0;
    // Off only in a developer's build, whose executable is in the developer's own tree.
    bool judgesExecutable = true;

    // How many objects the dynamic loader has loaded and unloaded in this process, which every
    // route to code after the process started takes (plugins and modules are loaded so); unset or
    // nothing: maps are read at every check.
    std::function<std::optional<std::uint64_t>()> loaderCount;
    [[nodiscard]] static Surroundings ofThisProcess();
};

// Remembers what it vouched for: a file and folder that only root could change stays so until
// root changes it, and root is beyond what the agent can vouch against. A tick then costs one
// read of status; maps are read again when the loader loaded anything since they were last
// vouched for, and at least at every tenth check, for code mapped some other way; maps that
// name what was vouched for before are not judged again.
class ProcessVoucher {
public:
    explicit ProcessVoucher(Surroundings surroundings);

    [[nodiscard]] bool vouches();

private:
    [[nodiscard]] bool vouchesFor(const ExecutableMapping &mapping);
    // Whether only the trusted owner can change an entry: theirs, and writable by no one else.
    [[nodiscard]] bool onlyRootChanges(const struct stat &entry) const;
    [[nodiscard]] bool ownershipIsReal();

    Surroundings m_surroundings;
    // Read into again at every check, so that a tick allocates nothing.
    std::string m_status;
    std::string m_maps;
    // The maps of the last check that vouched: the same text again names only files vouched for.
    std::string m_vouchedMaps;
    // The loader's count when maps were last vouched for, and the checks since.
    std::optional<std::uint64_t> m_vouchedLoaderCount;
    unsigned m_checksSinceMaps = 0;
    std::optional<bool> m_ownershipIsReal;
    std::optional<std::string> m_executable;
    std::set<std::tuple<std::string, ino_t, std::string>> m_vouchedFiles;
    std::set<std::string> m_vouchedFolders;
};

} // namespace Qolvi_Desktop_Agent::process_integrity
