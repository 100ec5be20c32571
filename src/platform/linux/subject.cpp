#include "applicationscanner.h"
#include "evidence.h"
#include "programscript.h"
#include "unitname.h"

#include <fcntl.h>
#include <sys/stat.h>

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

} // namespace

Subject::Subject(pid_t pid, pid_t parent, bool foreign, const ProcReader &reader,
                 const ScannerSources &sources)
    : m_pid(pid)
    , m_parent(parent)
    , m_foreign(foreign)
    , m_reader(reader)
    , m_sources(sources)
    , m_cgroup(reader.cgroupPath(pid))
    , m_unitId(applicationIdFromUnit(leafOf(m_cgroup)))
    , m_executable(foreign ? std::string() : reader.executable(pid, &m_executableDeleted)) {}

const std::vector<std::string> &Subject::arguments() {
    if (!m_arguments) {
        m_arguments = m_reader.commandLine(m_pid);
    }
    return *m_arguments;
}

const ProgramQuestion &Subject::program(const DesktopEntryIndex &entries) {
    if (m_program) {
        return *m_program;
    }
    ProgramQuestion question{m_executable, {}};
    // A program that hides its executable, or another user's, still shows its command line.
    if (question.executable.empty() && !arguments().empty()) {
        question.arguments = arguments();
        question.executable = resolveProgram(question.arguments.front(), m_sources.searchPath);
    }
    if (isDynamicLoader(question.executable)) {
        question.arguments = arguments();
        const std::string *program = firstOperand(question.arguments, 1);
        question.executable =
            program != nullptr ? resolveProgram(*program, m_sources.searchPath) : std::string();
        question.arguments.erase(
            question.arguments.begin(),
            question.arguments.begin() +
                (program != nullptr ? program - question.arguments.data() : 0));
    }
    if (question.arguments.empty() && entries.needsArguments(question.executable)) {
        question.arguments = arguments();
    }
    m_program = std::move(question);
    return *m_program;
}

std::optional<FileKey> Subject::programKey(FingerprintCache &cache) {
    if (m_foreign || !m_program || m_program->executable.empty()) {
        return std::nullopt;
    }
    const std::string &path = m_program->executable;
    const bool running = path == m_executable;
    if (!running || !m_executableDeleted) {
        if (std::optional<FileKey> known = cache.keyOfPath(path)) {
            return known;
        }
    }
    struct stat info {};
    if (!(running ? m_reader.statExecutable(m_pid, info) : ::stat(path.c_str(), &info) == 0) ||
        !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    const FileKey key{info.st_dev, info.st_ino};
    if (!running || !m_executableDeleted) {
        cache.rememberPath(path, key);
    }
    return key;
}

int Subject::openProgram() {
    if (m_foreign || !m_program || m_program->executable.empty()) {
        return -1;
    }
    if (m_program->executable == m_executable) {
        return m_reader.openExecutable(m_pid);
    }
    return ::open(m_program->executable.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

} // namespace Qolvi_Desktop_Agent::linux_backend
