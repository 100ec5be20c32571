// How a desktop entry or a D-Bus service names the programs it starts.

#include "platform/linux/entries/desktopentryindex.h"
#include "platform/linux/process/programscript.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

bool isElf(const fs::path &file) {
    char magic[4] = {};
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    const bool elf = fd >= 0 && ::read(fd, magic, sizeof magic) == sizeof magic &&
                     std::equal(magic, magic + 4, "\177ELF");
    if (fd >= 0) {
        ::close(fd);
    }
    return elf;
}

// The file a command hands its program to run ("gjs /usr/share/app/main.js", "java -jar
// /usr/share/app/app.jar"): its first operand, when that is a file of its own that is no
// program. The command then names that file, never the interpreter, which runs much else.
std::string handedFile(const std::vector<std::string> &fixedArguments) {
    const std::string *operand = firstOperand(fixedArguments, 0);
    std::error_code error;
    if (operand == nullptr || operand->front() != '/' || !fs::is_regular_file(*operand, error) ||
        isElf(*operand)) {
        return {};
    }
    fs::path canonical = fs::canonical(*operand, error);
    return error ? std::string() : canonical.string();
}

} // namespace

void DesktopEntryIndex::addEntry(const fs::path &file, std::string desktopId, bool user) {
    const DesktopEntry entry = readDesktopEntry(file);
    // A hidden entry counts as deleted. A terminal program is not an application of the
    // desktop: its entry would name every process of that interpreter or tool the user runs.
    if (entry.hidden || entry.terminal || (!entry.type.empty() && entry.type != "Application")) {
        return;
    }
    const std::size_t index = m_entries.size();
    if (!user) {
        // The class a window manager matches to the entry, and its ID, as desktops do.
        for (const std::string &windowClass : {entry.startupWmClass, desktopId}) {
            if (!windowClass.empty()) {
                m_idByWindowClass.try_emplace(classKey(windowClass), desktopId);
            }
        }
    }
    m_entries.push_back({std::move(desktopId), {}, {}, !entry.noDisplay, user});
    m_entryByFile.emplace(fs::path(file).lexically_normal().string(), index);
    const ExecCommand command = parseExec(entry.exec);
    addCommand(index, command, user, false);
    // The program TryExec names is the entry's too, when Exec reaches it another way.
    if (const std::string tryProgram = resolveProgram(entry.tryExec, searchPathFor(user));
        !tryProgram.empty() && tryProgram != m_entries[index].program &&
        (user || m_systemFiles.owns(tryProgram))) {
        addCandidate(m_byProgram, tryProgram, index, user);
    }
}

void DesktopEntryIndex::addCommand(std::size_t index, const ExecCommand &command, bool user,
                                   bool service) {
    std::string program = resolveProgram(command.program, searchPathFor(user));
    // A system entry names only a program that is the system's: the candidate writes the rest.
    if (!user && !program.empty() && !m_systemFiles.owns(program)) {
        program.clear();
    }
    m_entries[index].program = program;
    m_entries[index].fixedArguments = command.fixedArguments;
    if (program.empty()) {
        return;
    }
    if (const std::string file = handedFile(command.fixedArguments); !file.empty()) {
        addCandidate(m_byProgramFile, program + '\n' + file, index, user);
        m_interpreters.insert(program);
        return;
    }
    // "sh -c ..." runs a command line: the shell is not the application.
    if (!command.fixedArguments.empty() && command.fixedArguments.front() == "-c") {
        return;
    }
    addCandidate(m_byProgram, program, index, user);
    // The program is read once here: whether it is a script, and what a copy of it shares.
    const int fd = ::open(program.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    std::array<char, 256> head{};
    const ssize_t headSize = fd >= 0 ? ::pread(fd, head.data(), head.size(), 0) : 0;
    if (!user) {
        m_programKeys.try_emplace(program, m_fingerprints.add(fd, true));
    }
    if (fd >= 0) {
        ::close(fd);
    }
    ProgramScript script = readProgramScript(
        program,
        std::string_view(head.data(), static_cast<std::size_t>(std::max<ssize_t>(headSize, 0))),
        searchPathFor(user));
    if (!script.interpreter.empty()) {
        m_interpreters.insert(script.interpreter);
    }
    for (WrappedProgram &wrapped : script.wrapped) {
        if (!user && !m_systemFiles.owns(wrapped.program)) {
            continue;
        }
        Entry handedOver = m_entries[index];
        handedOver.program = wrapped.program;
        handedOver.fixedArguments = std::move(wrapped.fixedArguments);
        handedOver.fixedArguments.insert(handedOver.fixedArguments.end(),
                                         command.fixedArguments.begin(),
                                         command.fixedArguments.end());
        m_entries.push_back(std::move(handedOver));
        // A wrapper that hands an interpreter a file (`exec python3 /usr/share/app/main.py`)
        // names that file, as an Exec line does, never every process of the interpreter.
        const Entry &added = m_entries.back();
        if (const std::string file = handedFile(added.fixedArguments); !file.empty()) {
            addCandidate(m_byProgramFile, added.program + '\n' + file, m_entries.size() - 1, user);
            m_interpreters.insert(added.program);
        } else if (added.fixedArguments.empty() || added.fixedArguments.front() != "-c") {
            addCandidate(m_byProgram, added.program, m_entries.size() - 1, user);
        }
    }
    // A program in a folder of its own, off the search path, shares it with its helpers; a
    // service's folder holds many services, and a libexec folder the helpers of many packages
    // (GNOME's online accounts' handler beside its terminal's server, say).
    if (const fs::path folder = fs::path(program).parent_path();
        !service && !m_searchFolders.contains(folder.string()) && folder.filename() != "libexec") {
        addCandidate(m_byPrivateFolder, folder.string(), index, user);
    }
}

} // namespace Qolvi_Desktop_Agent::linux_backend
