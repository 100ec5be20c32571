// What the Linux backend reports right now, one identifier per line, for the tests that start
// real applications.

#include "platform/linux/applicationscanner.h"

#include <iostream>

int main() {
    using namespace Qolvi_Desktop_Agent::linux_backend;
    ApplicationScanner scanner(ScannerSources::fromEnvironment());
    for (const std::string &identifier : scanner.scan()) {
        std::cout << identifier << '\n';
    }
}
