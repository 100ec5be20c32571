// The application unit a desktop launched the process in (app-…-<ID>-….scope/service): it
// groups an instance's processes, but any user can start a unit of any name, so it names only
// what the process's own program does not.

#include "platform/linux/evidence/sources/sources.h"

namespace Qolvi_Desktop_Agent::linux_backend {

std::string nameByUnit(ExaminedProcess &examined, EvidenceContext & /*context*/) {
    return examined.unitId().value_or(std::string());
}

} // namespace Qolvi_Desktop_Agent::linux_backend
