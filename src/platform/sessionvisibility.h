#pragma once

namespace Qolvi_Desktop_Agent {

// Whether the agent can see the applications of the session its window is on. An agent started
// in a container or sandbox of its own sees none of them, and would report an empty list as if
// the computer ran nothing. Worked out without waiting on anyone: what the process and its
// connections show once, at the first call; what a window source later says of the agent's own
// window, as it comes. Each platform has its own implementation file beside this header.
[[nodiscard]] bool seesUserSession();

} // namespace Qolvi_Desktop_Agent
