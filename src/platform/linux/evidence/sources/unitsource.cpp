// The application unit a desktop launched the process in (app-…-<ID>-….scope/service): it
// groups an instance's processes, but any user can start a unit of any name, so it names only
// what the process's own program does not.

#include "platform/linux/evidence/evidence.h"

namespace Qolvi_Desktop_Agent::linux_backend {

std::string nameByUnit(Subject &subject, Knowledge & /*knowledge*/) {
    return subject.unitId().value_or(std::string());
}

} // namespace Qolvi_Desktop_Agent::linux_backend
