#pragma once

#include "platform/linux/entries/desktopentryindex.h"
#include "platform/linux/evidence/evidencetable.h"
#include "platform/linux/evidence/examinedprocess.h"

#include <string>

namespace Qolvi_Desktop_Agent::linux_backend {

// The sources of the table that name a process by itself, one file each; the window sources
// are in x11/ and wayland/.
std::string nameBySandbox(ExaminedProcess &examined, EvidenceContext &context);
std::string nameByProgram(ExaminedProcess &examined, EvidenceContext &context);
std::string nameByCopy(ExaminedProcess &examined, EvidenceContext &context);
std::string nameByInterpreter(ExaminedProcess &examined, EvidenceContext &context);
std::string nameByUnit(ExaminedProcess &examined, EvidenceContext &context);
std::string nameByLaunch(ExaminedProcess &examined, EvidenceContext &context);
std::string nameByUserEntry(ExaminedProcess &examined, EvidenceContext &context);
// What an interpreter runs names it, among the entries of one tier.
std::string nameScript(ExaminedProcess &examined, EvidenceContext &context,
                       DesktopEntryIndex::Tier tier);

} // namespace Qolvi_Desktop_Agent::linux_backend
