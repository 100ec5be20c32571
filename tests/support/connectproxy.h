#pragma once

#include <QByteArray>
#include <QObject>
#include <QSslSocket>
#include <QString>
#include <QTcpServer>

namespace Qolvi_Desktop_Agent::testing {

// An HTTP proxy on 127.0.0.1 that takes CONNECT, served by the test's own event loop. A
// tunnelling one carries the bytes between the client and the host it names untouched. An
// intercepting one, as proxies that inspect traffic do, answers the client's TLS itself with
// a certificate its own authority made for the host, and relays what it reads to the host
// over TLS of its own, keeping a copy in the clear.
class ConnectProxy : public QTcpServer {
public:
    enum class Kind { tunnelling, intercepting };

    explicit ConnectProxy(Kind kind);

    // As a system's https_proxy names it.
    [[nodiscard]] QString url() const;
    [[nodiscard]] int tunnelCount() const { return m_tunnels; }
    // What an intercepting proxy read from its clients in the clear.
    [[nodiscard]] const QByteArray &readInClear() const { return m_readInClear; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void readConnect(QSslSocket *client);
    void openTunnel(QSslSocket *client, const QString &host, quint16 port);

    Kind m_kind;
    int m_tunnels = 0;
    QByteArray m_readInClear;
};

} // namespace Qolvi_Desktop_Agent::testing
