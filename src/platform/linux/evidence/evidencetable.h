#pragma once

#include "platform/linux/windowlists/windowidentity.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Qolvi_Desktop_Agent::linux_backend {

class DesktopEntryIndex;
class ExaminedProcess;
struct ScannerSources;

// The kinds of evidence that name a process, strongest first: the order of the table below.
// What a process is (its sandbox as installed, its program as installed or copied, the script
// it runs) outranks what the candidate controls: a window the program shows, then what they
// choose around a program (a unit to launch it in, a launcher's variable, an entry of their
// own), which a program never chose.
enum class Source : unsigned char {
    sandbox,
    program,
    copy,
    interpreter,
    // What the process says of its program is belied: nothing below renames it.
    belied,
    x11Window,
    waylandWindow,
    unit,
    launch,
    userEntry,
    none,
};

// What a process is reported as when evidence the candidate controls claims an installed
// application whose program is another file, or its program cannot be checked: one identifier
// a provider can deny, in the agent's own namespace, which no application has.
inline constexpr std::string_view unknownProgram = "com.qolvi.UnknownProgram";

// Whether what this source says of a process is the candidate's to choose.
[[nodiscard]] constexpr bool candidateControlled(Source source) {
    return source > Source::belied && source < Source::none;
}

// Whether a source may name a process that `current` named: only where no stronger one did.
[[nodiscard]] constexpr bool outranks(Source speaker, Source current) {
    return speaker < current;
}

// What every source shares: the installed entries and the places to look.
struct EvidenceContext {
    DesktopEntryIndex &entries;
    const ScannerSources &sources;
    bool sandboxesInstalled = false;
    // Parents, with the program their children run, by how many such children showed no
    // launcher's variable in this scan: a pool of many was started all the same way.
    std::unordered_map<std::string, unsigned> &unlaunchedSiblings;
};

// A source's answer about one process: an identifier, or "" when it says nothing.
using SourceFunction = std::string (*)(ExaminedProcess &, EvidenceContext &);
// A window source: the windows of one display server, which name the processes that own them
// once a scan has listed them, matched to entries as idForWindow matches them.
using WindowOpener = std::unique_ptr<WindowList> (*)(const ScannerSources &);

struct SourceRow {
    Source source;
    // What it says of one process; null for a window source.
    SourceFunction name;
    WindowOpener openWindows;
    // Whether it reads only what any user may read, and so may name other users' processes.
    bool forOtherUsers;
};

[[nodiscard]] std::span<const SourceRow> evidenceTable();

struct Naming {
    std::string identifier;
    Source source = Source::none;
};

// The first source of the table that names the process.
[[nodiscard]] Naming identifyProcess(ExaminedProcess &examined, EvidenceContext &context);

} // namespace Qolvi_Desktop_Agent::linux_backend
