#include "linux/applicationscanner.h"
#include "runningapplications.h"

#include <chrono>
#include <memory>
#include <utility>

namespace Qolvi_Desktop_Agent {

namespace {

// The window's frames keep coming while a display server, compositor or bus peer is silent.
constexpr std::chrono::milliseconds windowAnswerWait{40};

// Only the main thread asks; the scanner's cache lives as long as the process. It is made at
// the first scan, which nothing else starts.
std::unique_ptr<linux_backend::ApplicationScanner> &scanner() {
    static std::unique_ptr<linux_backend::ApplicationScanner> instance;
    return instance;
}

} // namespace

QStringList runningApplicationIds() {
    if (!scanner()) {
        auto sources = linux_backend::ScannerSources::fromEnvironment();
        sources.windowAnswerWait = windowAnswerWait;
        scanner() = std::make_unique<linux_backend::ApplicationScanner>(std::move(sources));
    }
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
