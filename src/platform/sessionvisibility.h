#pragma once

namespace Qolvi_Desktop_Agent {

// Whether the agent can see the applications of the session its window is on. An agent started
// in a container or sandbox of its own sees none of them, and would report an empty list as if
// the computer ran nothing. Worked out once, on the first call, without waiting on anyone; each
// platform has its own implementation file beside this header.
[[nodiscard]] bool seesUserSession();

} // namespace Qolvi_Desktop_Agent
