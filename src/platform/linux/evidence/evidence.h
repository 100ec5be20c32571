#pragma once

#include "platform/linux/entries/desktopentryindex.h"
#include "platform/linux/process/procreader.h"
#include "platform/linux/windows/windowidentity.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

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
[[nodiscard]] constexpr bool maySpeak(Source speaker, Source current) {
    return speaker < current;
}

// One process as the sources ask about it; what they read of it is read once.
class Subject {
public:
    Subject(pid_t pid, pid_t parent, bool foreign, const ProcReader &reader,
            const ScannerSources &sources);

    [[nodiscard]] pid_t pid() const { return m_pid; }
    [[nodiscard]] pid_t parent() const { return m_parent; }
    // Another user's: only what any user may read of it is read (its command line, its
    // cgroup), never its executable, environment, root or descriptors.
    [[nodiscard]] bool foreign() const { return m_foreign; }
    [[nodiscard]] const ProcReader &reader() const { return m_reader; }
    [[nodiscard]] const std::string &cgroup() const { return m_cgroup; }
    // The application ID the unit it runs in carries, if any.
    [[nodiscard]] const std::optional<std::string> &unitId() const { return m_unitId; }
    // The executable link, "" when it cannot be read.
    [[nodiscard]] const std::string &executable() const { return m_executable; }
    [[nodiscard]] const std::vector<std::string> &arguments();
    // The program as the program rules see it: what the dynamic loader runs rather than the
    // loader, and for a hidden executable the program its command line names; with the
    // arguments from that program on, read only where the answer depends on them.
    [[nodiscard]] const ProgramQuestion &program(const DesktopEntryIndex &entries);
    // Whether what the process says of its program (its command line, as the loader's or for a
    // hidden executable) is belied or cannot be checked: it is then an unknown program.
    [[nodiscard]] bool contradicted() const { return m_contradicted; }
    // A descriptor of the program file (the caller closes it), also when it was deleted.
    [[nodiscard]] int openProgram();
    // The program file as the kernel knows it; none when it cannot be found.
    [[nodiscard]] std::optional<FileKey> programKey(FingerprintCache &cache);
    // The file the process runs, as the kernel knows it; none for another user's.
    [[nodiscard]] std::optional<FileKey> runningKey();
    // Whether the program the process runs is the file its path names here, or was until the
    // system deleted it.
    [[nodiscard]] bool runsFileAtPath(FingerprintCache &cache);
    // Whether the process may exec another program in place at a time its user chooses: it
    // runs a file of theirs, a file other than its path's, or a system program that execs
    // others (a shell, an interpreter, the loader, a runner such as flock or env). A system
    // program that is none of these execs nothing but by code injected into it.
    [[nodiscard]] bool mayExecInPlace(DesktopEntryIndex &entries);
    // What the program source found belied: the process runs another file than its path's.
    void belie() { m_contradicted = true; }
    // The file the sources took the process to be a copy of, kept while it runs.
    std::optional<FileKey> programFile;
    // Whether its program is an application's helper, which joins a running instance of the
    // application rather than counting as one, whatever its parent.
    bool helper = false;

private:
    pid_t m_pid;
    pid_t m_parent;
    bool m_foreign;
    const ProcReader &m_reader;
    const ScannerSources &m_sources;
    std::string m_cgroup;
    std::optional<std::string> m_unitId;
    // Before the executable, which sets it as it is read.
    bool m_executableDeleted = false;
    std::string m_executable;
    bool m_contradicted = false;
    bool m_runningRead = false;
    std::optional<FileKey> m_runningKey;
    std::optional<std::vector<std::string>> m_arguments;
    std::optional<ProgramQuestion> m_program;
};

// What every source shares: the installed entries and the places to look.
struct Knowledge {
    DesktopEntryIndex &entries;
    const ScannerSources &sources;
    bool sandboxesInstalled = false;
    // Parents, with the program their children run, by how many such children showed no
    // launcher's variable in this scan: a pool of many was started all the same way.
    std::unordered_map<std::string, unsigned> &unlaunchedSiblings;
};

// A source's answer about one process: an identifier, or "" when it says nothing.
using SourceFunction = std::string (*)(Subject &, Knowledge &);
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
[[nodiscard]] Naming identifyProcess(Subject &subject, Knowledge &knowledge);

// The sources, one file each.
std::unique_ptr<WindowList> openX11Windows(const ScannerSources &sources);
// Null outside a Wayland session.
std::unique_ptr<WindowList> openWaylandWindows(const ScannerSources &sources);
std::string nameBySandbox(Subject &subject, Knowledge &knowledge);
std::string nameByProgram(Subject &subject, Knowledge &knowledge);
std::string nameByCopy(Subject &subject, Knowledge &knowledge);
std::string nameByInterpreter(Subject &subject, Knowledge &knowledge);
std::string nameByUnit(Subject &subject, Knowledge &knowledge);
std::string nameByLaunch(Subject &subject, Knowledge &knowledge);
std::string nameByUserEntry(Subject &subject, Knowledge &knowledge);
// What an interpreter runs names it, among the entries of one tier.
std::string nameScript(Subject &subject, Knowledge &knowledge, DesktopEntryIndex::Tier tier);

} // namespace Qolvi_Desktop_Agent::linux_backend
