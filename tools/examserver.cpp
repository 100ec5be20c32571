#include "examserver.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace Qolvi_Desktop_Agent::tools {

namespace {

constexpr std::size_t maxRequestBytes = 1 << 20;

constexpr const char *examSitePage = R"(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>Qolvi exam site (local)</title></head>
<body style="font-family: sans-serif; margin: 3em">
<h1>Qolvi exam site</h1>
<p>This page stands for the exam provider's site. The desktop agent opened it with BEGIN THE EXAM.</p>
</body></html>
)";

} // namespace

void sendWithoutDelay(httplib::Server &server) {
    server.set_socket_options([](socket_t socket) {
        httplib::default_socket_options(socket);
        // Accepted connections inherit the option from the listening socket.
        const int on = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    });
}

void mountExamService(httplib::Server &server, const ExamService &service, LogLine log) {
    sendWithoutDelay(server);
    server.set_payload_max_length(maxRequestBytes);
    // The agent reports every 3 seconds on one kept-alive connection.
    server.set_keep_alive_max_count(100000);
    server.set_keep_alive_timeout(30);

    const auto route = [&server, &service, log](const std::string &path, auto handle) {
        server.Post(path, [&service, log, path, handle](const httplib::Request &request,
                                                        httplib::Response &response) {
            const ExamService::Reply reply = (service.*handle)(request.body);
            response.status = reply.status;
            response.set_content(reply.body, "application/json");
            log("POST " + path + " " + std::to_string(reply.status) + " " + reply.summary);
        });
    };
    route("/tr/exam/InitDesktop", &ExamService::initDesktop);
    route("/tr/exam/CheckApplication", &ExamService::checkApplication);

    server.Get("/", [log](const httplib::Request &, httplib::Response &response) {
        response.set_content(examSitePage, "text/html; charset=utf-8");
        log("GET / 200 exam site");
    });
    server.set_error_handler([log](const httplib::Request &request, httplib::Response &response) {
        if (response.body.empty()) {
            response.set_content("{\"error\":\"" + std::to_string(response.status) + "\"}",
                                 "application/json");
        }
        log(request.method + " " + request.path + " " + std::to_string(response.status));
    });
    server.set_exception_handler(
        [log](const httplib::Request &request, httplib::Response &response, std::exception_ptr) {
            response.status = 500;
            log(request.method + " " + request.path + " 500 internal error");
        });
}

} // namespace Qolvi_Desktop_Agent::tools
