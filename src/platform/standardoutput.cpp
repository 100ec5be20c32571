#include "standardoutput.h"

#include <cstdio>

namespace Qolvi_Desktop_Agent {

void writeStandardOutputLine(const QString &line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace Qolvi_Desktop_Agent
