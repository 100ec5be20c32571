#include "platform/linux/scanner/applicationscanner.h"
#include "platform/runningapplications.h"

#include <chrono>
#include <memory>
#include <utility>

namespace Qolvi_Desktop_Agent {

namespace {

// The window's frames keep coming while a display server, compositor or bus peer is silent: a
// scan waits this long for each window source, and a session has two at most (its Xwayland and
// its compositor, which a frozen compositor may hold up together), 50 ms in all.
constexpr std::chrono::milliseconds windowAnswerWait{25};

// Only the main thread asks; the scanner's cache lives as long as the process. It is made once
// the window shows, or at the first scan.
std::unique_ptr<linux_backend::ApplicationScanner> &scanner() {
    static std::unique_ptr<linux_backend::ApplicationScanner> instance;
    return instance;
}

} // namespace

void startWatchingWindows() {
    if (!scanner()) {
        auto sources = linux_backend::ScannerSources::fromEnvironment();
        sources.windowAnswerWait = windowAnswerWait;
        scanner() = std::make_unique<linux_backend::ApplicationScanner>(std::move(sources));
    }
}

QStringList runningApplicationIds() {
    startWatchingWindows();
    QStringList identifiers;
    for (const std::string &identifier : scanner()->scan()) {
        // Identifiers are texts: odd bytes become replacement characters, never invalid UTF-8.
        identifiers.push_back(QString::fromUtf8(identifier));
    }
    return identifiers;
}

bool windowsNeedNewLogin() {
    return scanner() && scanner()->windowsNeedNewLogin();
}

} // namespace Qolvi_Desktop_Agent
