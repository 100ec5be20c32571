#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;

namespace Qolvi_Desktop_Agent::testing {

// The certificate a fault server presents; only `trusted` passes the agent's checks.
enum class Presented { trusted, otherHost, expired, selfSigned };

// The certificate of the authority that the tests' clients trust.
[[nodiscard]] QList<QSslCertificate> trustedTestCa();

struct RawRequest {
    std::string requestLine; // "POST /tr/exam/InitDesktop HTTP/1.1"
    std::string head;        // everything up to the blank line
    std::string body;

    [[nodiscard]] std::string path() const;
    // The values of every header line with this name, in order.
    [[nodiscard]] std::vector<std::string> header(std::string_view name) const;
};

// One accepted TLS connection, as a script sees it.
class RawConnection {
public:
    RawConnection(SSL *ssl, int socket);
    void send(std::string_view bytes);
    // Sends the bytes a few at a time with a pause between, as a slow or stalling service does.
    void drip(std::string_view bytes, std::size_t chunk, std::chrono::milliseconds pause);
    // Ends TLS and the connection in order, as a server that is done does.
    void close();
    // Drops the connection at once with a TCP reset.
    void reset();
    [[nodiscard]] bool isOpen() const { return m_open; }

private:
    SSL *m_ssl;
    int m_socket;
    bool m_open = true;
};

// A misbehaving HTTPS service on 127.0.0.1 for the fault matrix: it reads each request and
// then does exactly what the test's script says with the raw bytes of the connection, so it can
// answer what no well-behaved server would (any status line, lying lengths, resets, ...).
class FaultServer {
public:
    // Runs on the server's thread for each request; `index` counts the requests from 0.
    using Script = std::function<void(const RawRequest &request, int index, RawConnection &)>;

    explicit FaultServer(Presented certificate = Presented::trusted);
    ~FaultServer();
    FaultServer(const FaultServer &) = delete;
    FaultServer &operator=(const FaultServer &) = delete;

    void onRequest(Script script);
    // Answers every request with this status and JSON body.
    void answerEvery(int status, std::string body);
    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] QString baseUrl() const;
    [[nodiscard]] std::vector<RawRequest> requests() const;
    [[nodiscard]] int requestCount() const;
    [[nodiscard]] int connectionCount() const { return m_connections; }

    // A complete HTTP/1.1 answer with a Content-Length.
    [[nodiscard]] static std::string answer(int status, std::string_view body,
                                            std::string_view extraHeaders = {});

private:
    void acceptLoop();
    void serve(int socket);

    std::unique_ptr<SSL_CTX, void (*)(SSL_CTX *)> m_context;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    Script m_script;
    std::vector<RawRequest> m_requests;
    std::vector<int> m_sockets;
    std::vector<std::thread> m_threads;
    std::thread m_acceptor;
};

} // namespace Qolvi_Desktop_Agent::testing
