// qolvi-exam-service: a local HTTPS exam service for the demo, the tests and for exam providers
// who want to try the agent before they point it at their own service.

#include "examserver.h"
#include "examservice.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <set>
#include <string>
#include <thread>

using namespace Qolvi_Desktop_Agent::tools;

namespace {

constexpr int defaultPort = QOLVI_LOCAL_SERVICE_PORT;

const char *const usage =
    "Usage: qolvi-exam-service [--accept KEY]... [--deny ID]... [--port N]\n"
    "                          --tls-cert FILE --tls-key FILE\n"
    "\n"
    "Serves the exam service on https://127.0.0.1:PORT/tr/ and a stand-in exam site on /.\n"
    "  --accept KEY   an exam key that opens an exam (repeatable; default: the demo key)\n"
    "  --deny ID      an application identifier that ends the connection when it is\n"
    "                 reported (repeatable)\n"
    "  --port N       the port to listen on (default: " QOLVI_LOCAL_SERVICE_PORT_TEXT ")\n"
    "  --tls-cert F   the server certificate (PEM)\n"
    "  --tls-key F    its private key (PEM)\n";

struct Options {
    std::set<std::string> accepted;
    std::set<std::string> denied;
    int port = defaultPort;
    std::string certificate;
    std::string key;
};

bool parse(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << usage;
            std::exit(0);
        }
        if (i + 1 >= argc) {
            std::cerr << "qolvi-exam-service: " << argument << " needs a value\n";
            return false;
        }
        const std::string value = argv[++i];
        if (argument == "--accept") {
            options.accepted.insert(value);
        } else if (argument == "--deny") {
            options.denied.insert(value);
        } else if (argument == "--port") {
            try {
                options.port = std::stoi(value);
            } catch (const std::exception &) {
                options.port = -1;
            }
            if (options.port < 0 || options.port > 65535) {
                std::cerr << "qolvi-exam-service: bad port: " << value << "\n";
                return false;
            }
        } else if (argument == "--tls-cert") {
            options.certificate = value;
        } else if (argument == "--tls-key") {
            options.key = value;
        } else {
            std::cerr << "qolvi-exam-service: unknown option " << argument << "\n";
            return false;
        }
    }
    if (options.certificate.empty() || options.key.empty()) {
        std::cerr << "qolvi-exam-service: --tls-cert and --tls-key are required\n";
        return false;
    }
    if (options.accepted.empty()) {
        options.accepted.insert(std::string(ExamService::demoKey));
    }
    return true;
}

void logLine(const std::string &line) {
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    std::cout << line << std::endl;
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::cerr << usage;
        return 2;
    }

    // Signals are taken by a thread of their own, which stops the server cleanly.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    httplib::SSLServer server(options.certificate.c_str(), options.key.c_str());
    if (!server.is_valid()) {
        std::cerr << "qolvi-exam-service: cannot use the certificate " << options.certificate
                  << " with the key " << options.key << "\n";
        return 1;
    }
    const ExamService service(options.accepted, options.denied);
    mountExamService(server, service, logLine);

    if (!server.bind_to_port("127.0.0.1", options.port)) {
        std::cerr << "qolvi-exam-service: cannot listen on 127.0.0.1:" << options.port << "\n";
        return 1;
    }
    std::thread signalWaiter([&server, &signals] {
        int received = 0;
        sigwait(&signals, &received);
        server.stop();
    });
    signalWaiter.detach();

    std::string keys;
    for (const std::string &key : options.accepted) {
        keys += (keys.empty() ? "" : ", ") + key;
    }
    logLine("qolvi-exam-service listening on https://127.0.0.1:" + std::to_string(options.port) +
            "/tr/ (accepting " + keys + ")");
    server.listen_after_bind();
    logLine("qolvi-exam-service stopped");
    return 0;
}
