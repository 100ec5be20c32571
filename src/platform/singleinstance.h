#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

namespace Qolvi_Desktop_Agent {

// One agent per user session: the first launch holds a lock in the user's runtime folder and
// listens on a local socket beside it; a later launch finds the lock held, asks the first to
// come to the front, and ends. A crashed agent's lock and socket are taken over, never obeyed.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role { first, later };

    // `folder` is where the lock and the socket live: the user's runtime folder for the agent.
    SingleInstance(const QString &folder, const QString &name, QObject *parent = nullptr);

    // Takes the lock, or asks the agent that holds it to show itself.
    [[nodiscard]] Role claim();
    // The first launch answers later ones from now on. A later launch waits for this, so the
    // first may open its window before it listens.
    void listenForLaterLaunches();

signals:
    // A later launch asked this agent to show itself.
    void activationRequested();

private:
    [[nodiscard]] bool askTheFirstToShowItself() const;

    QString m_socketPath;
    QLockFile m_lock;
    QLocalServer m_server;
};

} // namespace Qolvi_Desktop_Agent
