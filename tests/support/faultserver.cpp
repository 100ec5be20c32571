#include "faultserver.h"

#include <QFile>
#include <QSslKey>
#include <QTimer>
#include <sys/socket.h>

namespace Qolvi_Desktop_Agent::testing {

namespace {

QByteArray certsFile(const char *name) {
    QFile file(QStringLiteral(QOLVI_TEST_CERTS_DIR "/%1").arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("Cannot read %s", qPrintable(file.fileName()));
    }
    return file.readAll();
}

} // namespace

QList<QSslCertificate> trustedTestCa() {
    return QSslCertificate::fromData(certsFile("trusted/ca.pem"));
}

QList<QSslCertificate> interceptorCa() {
    return QSslCertificate::fromData(certsFile("interceptor/ca.pem"));
}

QSslConfiguration serverTls(Presented certificate) {
    struct Files {
        const char *chain;
        const char *key;
        const char *after = nullptr;
    };
    const Files files[] = {{"trusted/server.pem", "trusted/server.key"},
                           {"trusted/chained.pem", "trusted/server.key"},
                           {"trusted/otherhost.pem", "trusted/server.key"},
                           {"trusted/expired.pem", "trusted/server.key"},
                           {"trusted/selfsigned.pem", "trusted/server.key"},
                           {"interceptor/server.pem", "interceptor/server.key"},
                           {"interceptor/server.pem", "interceptor/server.key", "trusted/ca.pem"},
                           {"interceptor/otherhost.pem", "interceptor/server.key"}};
    const Files &presented = files[int(certificate)];
    QList<QSslCertificate> chain = QSslCertificate::fromData(certsFile(presented.chain));
    if (presented.after) {
        chain += QSslCertificate::fromData(certsFile(presented.after));
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(QSslKey(certsFile(presented.key), QSsl::Rsa));
    return tls;
}

std::vector<std::string> RawRequest::header(std::string_view name) const {
    std::vector<std::string> values;
    for (const QByteArray &line : QByteArray::fromStdString(head).split('\n').mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (line.left(colon).compare(QByteArrayView(name.data(), qsizetype(name.size())),
                                     Qt::CaseInsensitive) == 0) {
            values.push_back(line.mid(colon + 1).trimmed().toStdString());
        }
    }
    return values;
}

void RawConnection::drip(std::string bytes, std::size_t chunk, std::chrono::milliseconds pause) {
    send(std::string_view(bytes).substr(0, chunk));
    if (bytes.size() > chunk) {
        QTimer::singleShot(pause, this, [this, rest = bytes.substr(chunk), chunk, pause] {
            drip(rest, chunk, pause);
        });
    }
}

void RawConnection::reset() {
    m_socket->flush();
    const linger abortive{1, 0};
    ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                 sizeof abortive);
    m_socket->abort();
}

FaultServer::FaultServer(Presented certificate) {
    present(certificate);
    connect(&m_server, &QSslServer::startedEncryptionHandshake, this, [this] { ++m_connections; });
    connect(&m_server, &QSslServer::pendingConnectionAvailable, this, [this] {
        while (auto *socket = qobject_cast<QSslSocket *>(m_server.nextPendingConnection())) {
            auto *connection = new RawConnection(socket);
            connect(socket, &QSslSocket::readyRead, connection,
                    [this, connection] { readRequests(*connection); });
            connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
            readRequests(*connection);
        }
    });
    if (!m_server.listen(QHostAddress::LocalHost)) {
        qFatal("The fault server cannot listen on 127.0.0.1");
    }
}

void FaultServer::present(Presented certificate, bool offerHttp2) {
    QSslConfiguration tls = serverTls(certificate);
    if (offerHttp2) {
        tls.setAllowedNextProtocols({QSslConfiguration::ALPNProtocolHTTP2, "http/1.1"});
    }
    m_server.setSslConfiguration(tls);
}

QString FaultServer::baseUrl() const {
    return QStringLiteral("https://127.0.0.1:%1/tr/").arg(m_server.serverPort());
}

std::string FaultServer::answer(int status, std::string_view body, std::string_view extraHeaders) {
    return "HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Type: application/json\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\n" + std::string(extraHeaders) +
           "\r\n" + std::string(body);
}

// Reads each whole request, its head up to the blank line and a body of its Content-Length.
void FaultServer::readRequests(RawConnection &connection) {
    QSslSocket &socket = *connection.m_socket;
    const QByteArray arrived = socket.readAll();
    m_received += arrived;
    connection.m_unread += arrived.toStdString();
    for (std::size_t headEnd = 0;
         socket.state() == QAbstractSocket::ConnectedState &&
         (headEnd = connection.m_unread.find("\r\n\r\n")) != std::string::npos;) {
        RawRequest request;
        request.head = connection.m_unread.substr(0, headEnd);
        const std::vector<std::string> length = request.header("Content-Length");
        const std::size_t end = headEnd + 4 + (length.empty() ? 0 : std::stoul(length.front()));
        if (connection.m_unread.size() < end) {
            return;
        }
        request.body = connection.m_unread.substr(headEnd + 4, end - headEnd - 4);
        connection.m_unread.erase(0, end);
        m_requests.push_back(request);
        if (m_script) {
            m_script(m_requests.back(), requestCount() - 1, connection);
        } else {
            connection.send(answer(200, acceptedBody));
        }
    }
}

} // namespace Qolvi_Desktop_Agent::testing
