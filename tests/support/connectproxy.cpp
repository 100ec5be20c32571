#include "connectproxy.h"

#include "faultserver.h"

#include <QSslSocket>

namespace Qolvi_Desktop_Agent::testing {

namespace {

// Each socket passes what it reads to the other; when one closes, so does the other.
void join(QAbstractSocket *one, QAbstractSocket *other, QByteArray *copy = nullptr) {
    QObject::connect(one, &QIODevice::readyRead, other, [=] {
        const QByteArray bytes = one->readAll();
        if (copy) {
            *copy += bytes;
        }
        other->write(bytes);
    });
    QObject::connect(one, &QAbstractSocket::disconnected, other,
                     &QAbstractSocket::disconnectFromHost);
    QObject::connect(one, &QAbstractSocket::disconnected, one, &QObject::deleteLater);
}

} // namespace

ConnectProxy::ConnectProxy(Kind kind)
    : m_kind(kind) {
    if (!listen(QHostAddress::LocalHost)) {
        qFatal("The proxy cannot listen on 127.0.0.1");
    }
}

QString ConnectProxy::url() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(serverPort());
}

// A socket that can take TLS over from the plain CONNECT exchange.
void ConnectProxy::incomingConnection(qintptr descriptor) {
    auto *client = new QSslSocket(this);
    client->setSocketDescriptor(descriptor);
    connect(client, &QIODevice::readyRead, this, [this, client] { readConnect(client); });
}

void ConnectProxy::readConnect(QSslSocket *client) {
    if (!client->canReadLine() || client->peek(8192).indexOf("\r\n\r\n") < 0) {
        return;
    }
    disconnect(client, &QIODevice::readyRead, this, nullptr);
    const QList<QByteArray> request = client->readLine().trimmed().split(' ');
    client->readAll();
    // The agent asks for nothing but a tunnel: "CONNECT host:port HTTP/1.1".
    const QByteArray target = request.value(1);
    const qsizetype colon = target.lastIndexOf(':');
    openTunnel(client, QString::fromLatin1(target.left(colon)), target.mid(colon + 1).toUShort());
}

void ConnectProxy::openTunnel(QSslSocket *client, const QString &host, quint16 port) {
    ++m_tunnels;
    client->write("HTTP/1.1 200 Connection established\r\n\r\n");
    auto *upstream = new QSslSocket(this);
    if (m_kind == Kind::tunnelling) {
        join(client, upstream);
        join(upstream, client);
        upstream->connectToHost(host, port);
        return;
    }
    QSslConfiguration toHost = QSslConfiguration::defaultConfiguration();
    toHost.setCaCertificates(trustedTestCa());
    upstream->setSslConfiguration(toHost);
    client->setSslConfiguration(serverTls(Presented::interceptor));
    join(client, upstream, &m_readInClear);
    join(upstream, client);
    upstream->connectToHostEncrypted(host, port);
    client->startServerEncryption();
}

} // namespace Qolvi_Desktop_Agent::testing
