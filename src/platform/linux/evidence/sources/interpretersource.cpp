// An interpreter is named by what it runs: a file an entry hands it, or a script whose own
// "#!" line names this interpreter, given as its first operand or as its standard input. The
// interpreter itself runs much else and names nothing.

#include "platform/linux/evidence/sources/sources.h"
#include "platform/linux/process/programfingerprint.h"
#include "platform/linux/process/programscript.h"
#include "platform/linux/scanner/scannersources.h"

#include <algorithm>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

std::string nameScript(ExaminedProcess &examined, EvidenceContext &context,
                       DesktopEntryIndex::Tier tier) {
    DesktopEntryIndex &entries = context.entries;
    const ProgramQuestion &question = examined.program(entries);
    if (!entries.isInterpreter(question.executable)) {
        return {};
    }
    const std::vector<std::string> &arguments =
        question.arguments.empty() ? examined.arguments() : question.arguments;
    const std::string *operand = firstOperand(arguments, 1);
    std::string script;
    if (operand != nullptr) {
        script = resolveProgram(*operand, context.sources.searchPath);
    } else if (!examined.foreign() &&
               (arguments.size() <= 1 ||
                std::find(arguments.begin() + 1, arguments.end(), "-") != arguments.end())) {
        script = resolveProgram(examined.reader().standardInputFile(examined.pid()), {});
    }
    if (script.empty()) {
        return {};
    }
    if (std::string id = entries.idForProgramFile(question.executable, script, tier); !id.empty()) {
        return id;
    }
    if (scriptInterpreter(script, context.sources.searchPath) != question.executable) {
        return {};
    }
    const auto from =
        operand != nullptr ? arguments.begin() + (operand - arguments.data()) : arguments.end();
    const ProgramQuestion run{script, {from, arguments.end()}};
    if (std::string id = entries.idForProgram(run, tier); !id.empty()) {
        return id;
    }
    if (tier != DesktopEntryIndex::Tier::system) {
        return {};
    }
    // A copy of an entry's script.
    const int fd = openProgramFile(script);
    const std::optional<FileKey> key = entries.fingerprints().add(fd);
    if (fd >= 0) {
        ::close(fd);
    }
    if (!key) {
        return {};
    }
    examined.programFile = key;
    return entries.idForCopy(*key, [&script] { return openProgramFile(script); });
}

std::string nameByInterpreter(ExaminedProcess &examined, EvidenceContext &context) {
    return nameScript(examined, context, DesktopEntryIndex::Tier::system);
}

} // namespace Qolvi_Desktop_Agent::linux_backend
