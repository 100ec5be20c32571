// What the Linux backend reports right now, one identifier per line, for the tests that start
// real applications. With --each-line, one scanner scans again for each line of its input and
// ends each report with a line ".", as the agent's tick does. With --needs-new-login, it says
// after one scan whether the windows are listed only from the next login on, "true" or "false".

#include "platform/linux/scanner/applicationscanner.h"

#include <iostream>
#include <string>

int main(int argc, char **argv) {
    using namespace Qolvi_Desktop_Agent::linux_backend;
    ApplicationScanner scanner(ScannerSources::fromEnvironment());
    const std::string option = argc > 1 ? argv[1] : "";
    if (option == "--needs-new-login") {
        static_cast<void>(scanner.scan());
        std::cout << std::boolalpha << scanner.windowsNeedNewLogin() << '\n';
        return 0;
    }
    const bool eachLine = option == "--each-line";
    std::string line;
    do {
        for (const std::string &identifier : scanner.scan()) {
            std::cout << identifier << '\n';
        }
        if (eachLine) {
            std::cout << "." << std::endl;
        }
    } while (eachLine && std::getline(std::cin, line));
}
