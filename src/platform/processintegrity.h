#pragma once

namespace Qolvi_Desktop_Agent {

// Whether the agent can vouch that what it reports is its own: that its process runs no code
// the user could have written and that nothing traces it. Everything the agent reports is
// worked out inside this process, which the user owns; asked before anything is sent and at
// every report. Each platform has its own implementation file beside this header.
[[nodiscard]] bool vouchesForOwnProcess();

// Keeps the user's debuggers from attaching to the process later and from reading or writing
// its memory, and the QML engine from compiling code into memory files, which the check above
// could not tell from code brought in. Called first in main, before anything else runs.
void guardOwnProcess();

} // namespace Qolvi_Desktop_Agent
