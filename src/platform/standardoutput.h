#pragma once

#include <QString>
#include <functional>

namespace Qolvi_Desktop_Agent {

// Where the agent's diagnostic lines go; the product writes them to standard output.
using LineWriter = std::function<void(const QString &line)>;

// Writes the line and a line feed to standard output as UTF-8 and flushes at once, so the lines
// of a long run reach a pipe or a log file as they are written.
void writeStandardOutputLine(const QString &line);

} // namespace Qolvi_Desktop_Agent
