#pragma once

#include <string>
#include <string_view>

namespace Qolvi_Desktop_Agent::windows_backend {

// Windows speaks UTF-16 and the agent UTF-8; texts cross over here, once. An unpaired surrogate
// becomes U+FFFD, so what comes out is always valid UTF-8.
[[nodiscard]] std::string utf8FromUtf16(std::wstring_view text);

} // namespace Qolvi_Desktop_Agent::windows_backend
