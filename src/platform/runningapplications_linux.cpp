#include "linux/applicationscanner.h"
#include "runningapplications.h"

namespace Qolvi_Desktop_Agent {

QStringList runningApplicationIds() {
    // Only the main thread asks; the scanner's cache lives as long as the process.
    static linux_backend::ApplicationScanner scanner(
        linux_backend::ScannerSources::fromEnvironment());
    QStringList identifiers;
    for (const std::string &identifier : scanner.scan()) {
        // Identifiers are texts: odd bytes become replacement characters, never invalid UTF-8.
        identifiers.push_back(QString::fromUtf8(identifier));
    }
    return identifiers;
}

} // namespace Qolvi_Desktop_Agent
