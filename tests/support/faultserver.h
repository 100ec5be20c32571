#pragma once

#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Qolvi_Desktop_Agent::testing {

// The certificates a fault server presents. Only the first two pass a test agent's checks:
// the server's own, signed by the tests' authority, alone or after an intermediate's (and both
// for the server's key); then three that any client must refuse; then certificates of an
// intercepting proxy's authority, which a test may trust, alone or with the tests' authority
// sent after them as if it vouched for them, or made for another host.
enum class Presented {
    trusted,
    trustedThroughIntermediate,
    otherHost,
    expired,
    selfSigned,
    interceptor,
    interceptorBesideTrustedRoot,
    interceptorForOtherHost
};

// The certificate of the authority that the tests' clients trust.
[[nodiscard]] QList<QSslCertificate> trustedTestCa();
// The certificate of the authority of an intercepting proxy.
[[nodiscard]] QList<QSslCertificate> interceptorCa();
// The TLS of a server presenting these certificates.
[[nodiscard]] QSslConfiguration serverTls(Presented certificate);

struct RawRequest {
    std::string head; // "POST /tr/exam/InitDesktop HTTP/1.1" and the headers, to the blank line
    std::string body;

    [[nodiscard]] std::string path() const {
        const std::size_t start = head.find(' ') + 1;
        return head.substr(start, head.find(' ', start) - start);
    }
    // The values of every header line with this name, in order.
    [[nodiscard]] std::vector<std::string> header(std::string_view name) const;
};

// One accepted TLS connection, as a script sees it. A script may keep it (in a QPointer: it
// goes with the connection) and answer later.
class RawConnection : public QObject {
public:
    explicit RawConnection(QSslSocket *socket)
        : QObject(socket)
        , m_socket(socket) {}
    void send(std::string_view bytes) { m_socket->write(bytes.data(), qint64(bytes.size())); }
    // Sends the bytes a few at a time with a pause between, as a slow or stalling service does.
    void drip(std::string bytes, std::size_t chunk, std::chrono::milliseconds pause);
    // Ends TLS and the connection in order, as a server that is done does.
    void close() { m_socket->disconnectFromHost(); }
    // Drops the connection at once with a TCP reset.
    void reset();

private:
    friend class FaultServer;
    QSslSocket *m_socket;
    std::string m_unread; // what has arrived and is not a whole request yet
};

// A misbehaving HTTPS service on 127.0.0.1 for the fault matrix, served by the test's own event
// loop: it reads each request and then does exactly what the test's script says with the raw
// bytes of the connection, so it can answer what no well-behaved server would.
class FaultServer : public QObject {
public:
    // Runs for each request; `index` counts the requests from 0. Without one, the server
    // accepts every request.
    using Script = std::function<void(const RawRequest &request, int index, RawConnection &)>;

    explicit FaultServer(Presented certificate = Presented::trusted);

    // From the next connection on, the server presents these certificates, and offers HTTP/2
    // (which it cannot speak) if told to.
    void present(Presented certificate, bool offerHttp2 = false);

    void onRequest(Script script) { m_script = std::move(script); }
    [[nodiscard]] QString baseUrl() const;
    [[nodiscard]] const std::vector<RawRequest> &requests() const { return m_requests; }
    [[nodiscard]] int requestCount() const { return int(m_requests.size()); }
    [[nodiscard]] int connectionCount() const { return m_connections; }
    // Every byte that any client sent after its TLS handshake.
    [[nodiscard]] const QByteArray &received() const { return m_received; }

    // A complete HTTP/1.1 answer with a Content-Length.
    [[nodiscard]] static std::string answer(int status, std::string_view body,
                                            std::string_view extraHeaders = {});
    // The body of an answer that accepts the key or the report.
    static constexpr std::string_view acceptedBody = R"({"validationErrors":[],"hasError":false})";

private:
    void readRequests(RawConnection &connection);

    QSslServer m_server;
    Script m_script;
    std::vector<RawRequest> m_requests;
    int m_connections = 0;
    QByteArray m_received;
};

} // namespace Qolvi_Desktop_Agent::testing
