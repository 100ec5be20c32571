// Application IDs from systemd unit names: never an empty ID, and unescaping never grows a
// text.

#include "platform/linux/process/unitname.h"

#include <cstdint>
#include <cstdlib>

using namespace Qolvi_Desktop_Agent::linux_backend;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char *>(data), size);
    const auto id = applicationIdFromUnit(name);
    if ((id && id->empty()) || unescapeUnitText(name).size() > name.size()) {
        std::abort();
    }
    return 0;
}
