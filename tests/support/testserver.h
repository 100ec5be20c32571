#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <atomic>
#include <functional>
#include <httplib.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Qolvi_Desktop_Agent::testing {

enum class Authority { trusted, untrusted };

// The certificate of the authority that the tests' clients trust.
[[nodiscard]] QList<QSslCertificate> trustedTestCa();

struct RecordedRequest {
    std::string method;
    std::string path;
    httplib::Headers headers;
    std::string body;
    int remotePort = 0;
};

// A real HTTPS server on 127.0.0.1 and a port of the system's choice, answering every POST
// with whatever the test's handler says, and recording what it received.
class TestServer {
public:
    using Handler = std::function<void(const httplib::Request &, httplib::Response &)>;

    explicit TestServer(Authority authority = Authority::trusted);
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    void onPost(Handler handler);
    // Answers every POST with this status and body.
    void answer(int status, const std::string &body);

    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] QString baseUrl() const;
    [[nodiscard]] std::vector<RecordedRequest> requests() const;
    [[nodiscard]] int requestCount() const;
    [[nodiscard]] bool stopping() const { return m_stopping; }

private:
    httplib::SSLServer m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    Handler m_handler;
    std::vector<RecordedRequest> m_requests;
    std::atomic<bool> m_stopping{false};
};

} // namespace Qolvi_Desktop_Agent::testing
