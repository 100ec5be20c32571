#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Qolvi_Desktop_Agent::linux_backend {

// The application identifier that a systemd unit name carries, as desktops and snapd name the
// units they launch applications in:
//   snap.<name>.<app>-<uuid>.scope                       -> "snap.<name>"
//   app[-<launcher>]-<ApplicationID>[@<random>].service  -> ApplicationID
//   app[-<launcher>]-<ApplicationID>-<random>.scope      -> ApplicationID
// with \xHH escapes of the ID undone. Any other name gives none.
[[nodiscard]] std::optional<std::string> applicationIdFromUnit(std::string_view unitName);

// Undoes systemd's \xHH escaping.
[[nodiscard]] std::string unescapeUnitText(std::string_view text);

} // namespace Qolvi_Desktop_Agent::linux_backend
