#include "runningapplications.h"
#include "windows/applicationscanner.h"

namespace Qolvi_Desktop_Agent {

QStringList runningApplicationIds() {
    // Only the main thread asks; the scanner's cache lives as long as the process.
    static windows_backend::ApplicationScanner scanner;
    QStringList identifiers;
    for (const std::string &identifier : scanner.scan()) {
        identifiers.push_back(QString::fromUtf8(identifier));
    }
    return identifiers;
}

void startWatchingWindows() {}

bool windowsNeedNewLogin() {
    // The desktop's windows are listed to any process of the session, from its first login.
    return false;
}

} // namespace Qolvi_Desktop_Agent
