#pragma once

#include "platform/linux/entries/desktopentryindex.h"
#include "platform/linux/process/procreader.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

struct ScannerSources;

// One process as the sources ask about it; what they read of it is read once.
class ExaminedProcess {
public:
    ExaminedProcess(pid_t pid, pid_t parent, bool foreign, const ProcReader &reader,
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

} // namespace Qolvi_Desktop_Agent::linux_backend
