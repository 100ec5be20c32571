#include "platform/linux/evidence/examinedprocess.h"

#include "platform/linux/process/programfingerprint.h"
#include "platform/linux/process/programscript.h"
#include "platform/linux/process/unitname.h"
#include "platform/linux/scanner/scannersources.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unordered_set>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

std::string_view leafOf(std::string_view cgroupPath) {
    const std::size_t slash = cgroupPath.rfind('/');
    return slash == std::string_view::npos ? cgroupPath : cgroupPath.substr(slash + 1);
}

// The dynamic loader runs the program it is given, as "ld-linux-x86-64.so.2 PROGRAM".
bool isDynamicLoader(std::string_view executable) {
    const std::string_view name = executable.substr(executable.rfind('/') + 1);
    return name.starts_with("ld-") && name.find(".so") != std::string_view::npos;
}

// Whether the kernel hides a process of this program from its own user: set-ID, or with file
// capabilities.
bool isPrivileged(const std::string &program) {
    struct stat info {};
    return ::stat(program.c_str(), &info) == 0 &&
           ((info.st_mode & (S_ISUID | S_ISGID)) != 0 ||
            ::getxattr(program.c_str(), "security.capability", nullptr, 0) > 0);
}

} // namespace

ExaminedProcess::ExaminedProcess(pid_t pid, pid_t parent, bool foreign, const ProcReader &reader,
                                 const ScannerSources &sources)
    : m_pid(pid)
    , m_parent(parent)
    , m_foreign(foreign)
    , m_reader(reader)
    , m_sources(sources)
    , m_cgroup(reader.cgroupPath(pid))
    , m_unitId(applicationIdFromUnit(leafOf(m_cgroup)))
    , m_executable(foreign ? std::string() : reader.executable(pid, &m_executableDeleted)) {}

const std::vector<std::string> &ExaminedProcess::arguments() {
    if (!m_arguments) {
        m_arguments = m_reader.commandLine(m_pid);
    }
    return *m_arguments;
}

const ProgramQuestion &ExaminedProcess::program(const DesktopEntryIndex &entries) {
    if (m_program) {
        return *m_program;
    }
    ProgramQuestion question{m_executable, {}};
    // A program that hides its executable, or another user's, still shows its command line,
    // which it writes itself. The user's own program is taken at its word only where the
    // kernel hides it for a reason of its own: a program that is set-ID or has capabilities.
    // Another user's is taken at its word only when that user is the system's own: a second
    // account of the candidate's, or an ID mapped for a container of theirs, names whatever it
    // likes.
    if (question.executable.empty() && !arguments().empty()) {
        question.arguments = arguments();
        question.executable = resolveProgram(question.arguments.front(), m_sources.searchPath);
        const bool atItsWord = m_foreign ? m_reader.realUser(m_pid) == std::optional<uid_t>(0)
                                         : isPrivileged(question.executable);
        if (!question.executable.empty() && !atItsWord) {
            m_contradicted = true;
            question.executable.clear();
        }
    }
    if (isDynamicLoader(question.executable)) {
        question.arguments = arguments();
        const std::string *program = firstOperand(question.arguments, 1, question.executable);
        question.executable =
            program != nullptr ? resolveProgram(*program, m_sources.searchPath) : std::string();
        question.arguments.erase(
            question.arguments.begin(),
            question.arguments.begin() +
                (program != nullptr ? program - question.arguments.data() : 0));
        // The command line is the process's own to rewrite: the program is what the loader
        // mapped.
        struct stat info {};
        if (!question.executable.empty() &&
            (m_foreign || ::stat(question.executable.c_str(), &info) != 0 ||
             !m_reader.mapsCode(m_pid, info))) {
            m_contradicted = true;
            question.executable.clear();
        }
    }
    if (question.arguments.empty() && entries.needsArguments(question.executable)) {
        question.arguments = arguments();
    }
    m_program = std::move(question);
    return *m_program;
}

std::optional<FileKey> ExaminedProcess::runningKey() {
    if (!m_runningRead) {
        m_runningRead = true;
        struct stat info {};
        if (!m_foreign && m_reader.statExecutable(m_pid, info) && S_ISREG(info.st_mode)) {
            m_runningKey = fileKeyOf(info);
        }
    }
    return m_runningKey;
}

std::optional<FileKey> ExaminedProcess::programKey(FingerprintCache &cache) {
    if (m_foreign || !m_program || m_program->executable.empty()) {
        return std::nullopt;
    }
    const std::string &path = m_program->executable;
    // The running file is what the kernel runs, whatever its path shows: in a mount namespace
    // of the user's own, another file may lie at that path.
    if (path == m_executable) {
        return runningKey();
    }
    if (std::optional<FileKey> known = cache.keyOfPath(path)) {
        return known;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    cache.rememberPath(path, fileKeyOf(info));
    return fileKeyOf(info);
}

bool ExaminedProcess::mayExecInPlace(DesktopEntryIndex &entries) {
    static const std::unordered_set<std::string_view> runners{
        "sh",      "bash",   "dash",    "zsh",     "ksh",    "mksh",    "fish",
        "tcsh",    "csh",    "busybox", "env",     "nice",   "nohup",   "stdbuf",
        "timeout", "ionice", "chrt",    "taskset", "setsid", "setpriv", "unshare",
        "nsenter", "chroot", "flock",   "pkexec",  "sudo",   "su",      "runuser",
        "sg",      "newgrp", "strace",  "gdb",     "xargs",  "java"};
    static const std::array<std::string_view, 10> interpreters{
        "python", "pypy", "perl", "ruby", "node", "gjs", "lua", "tclsh", "wish", "php"};
    if (m_foreign || m_executable.empty() || !runningKey()) {
        return false;
    }
    const std::string_view name =
        std::string_view(m_executable).substr(m_executable.rfind('/') + 1);
    return !runsFileAtPath(entries.fingerprints()) ||
           !entries.systemFiles().ownsRunning(m_executable) || runners.contains(name) ||
           std::any_of(interpreters.begin(), interpreters.end(),
                       [name](std::string_view prefix) { return name.starts_with(prefix); }) ||
           isDynamicLoader(m_executable) || entries.isInterpreter(m_executable);
}

bool ExaminedProcess::runsFileAtPath(FingerprintCache &cache) {
    if (m_foreign || !m_program || m_program->executable != m_executable) {
        return true;
    }
    // A deleted file lies at its path no longer. Where the process sees the system's own
    // mounts, only the system could have put it there and deleted it (an upgrade); in a mount
    // namespace of the candidate's, it may be a file of theirs mounted there and then deleted,
    // which only its content can tell.
    if (m_executableDeleted) {
        return m_reader.sharesMounts(m_pid);
    }
    const std::optional<FileKey> running = runningKey();
    std::optional<FileKey> atPath = cache.keyOfPath(m_executable);
    struct stat info {};
    if (!atPath && ::stat(m_executable.c_str(), &info) == 0) {
        atPath = fileKeyOf(info);
        cache.rememberPath(m_executable, *atPath);
    }
    return running && atPath && running->device == atPath->device &&
           running->inode == atPath->inode;
}

int ExaminedProcess::openProgram() {
    if (m_foreign || !m_program || m_program->executable.empty()) {
        return -1;
    }
    if (m_program->executable == m_executable) {
        return m_reader.openExecutable(m_pid);
    }
    return openProgramFile(m_program->executable);
}

} // namespace Qolvi_Desktop_Agent::linux_backend
