#include "singleinstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>

namespace Qolvi_Desktop_Agent {

namespace {

const QByteArray activateMessage = QByteArrayLiteral("activate\n");
// How long a later launch waits for a first one that is still starting up.
constexpr int startupWaitMs = 3000;

} // namespace

SingleInstance::SingleInstance(const QString &folder, const QString &name, QObject *parent)
    : QObject(parent)
    , m_socketPath(QDir(folder).filePath(name + QStringLiteral(".socket")))
    , m_lock(QDir(folder).filePath(name + QStringLiteral(".lock"))) {
    // The socket is only for the same user.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains(activateMessage)) {
                    emit activationRequested();
                }
            });
        }
    });
}

SingleInstance::Role SingleInstance::claim() {
    // QLockFile takes over a lock whose process is gone, so a crash stops nothing.
    if (m_lock.tryLock(0)) {
        return Role::first;
    }
    if (!askTheFirstToShowItself()) {
        qWarning("Another agent is running but did not answer.");
    }
    return Role::later;
}

void SingleInstance::listenForLaterLaunches() {
    QLocalServer::removeServer(m_socketPath); // a crashed agent's socket
    if (!m_server.listen(m_socketPath)) {
        qWarning("Cannot listen on %s: %s", qPrintable(m_socketPath),
                 qPrintable(m_server.errorString()));
    }
}

bool SingleInstance::askTheFirstToShowItself() const {
    QElapsedTimer waited;
    waited.start();
    // The first agent may hold the lock and not yet listen.
    while (waited.elapsed() < startupWaitMs) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(500)) {
            socket.write(activateMessage);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(50);
    }
    return false;
}

} // namespace Qolvi_Desktop_Agent
