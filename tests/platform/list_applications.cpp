// What the Linux backend reports right now, one identifier per line, for the tests that start
// real applications. With --each-line, one scanner scans again for each line of its input and
// ends each report with a line ".", as the agent's tick does.

#include "platform/linux/applicationscanner.h"

#include <iostream>
#include <string>

int main(int argc, char **argv) {
    using namespace Qolvi_Desktop_Agent::linux_backend;
    ApplicationScanner scanner(ScannerSources::fromEnvironment());
    const bool eachLine = argc > 1 && std::string(argv[1]) == "--each-line";
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
