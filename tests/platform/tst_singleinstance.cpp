#include "platform/singleinstance.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent;

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    // A crash leaves the lock and the socket behind; the next launch takes both over, and a
    // launch after it asks it to show itself. (The end-to-end run starts the agent twice.)
    void aCrashedAgentStopsNothing() {
        const QString name = QStringLiteral("com.qolvi.DesktopAgent");
        QTemporaryDir folder;
        const pid_t crashed = ::fork();
        if (crashed == 0) {
            auto *leaked = new SingleInstance(folder.path(), name);
            const bool first = leaked->claim() == SingleInstance::Role::first;
            leaked->listenForLaterLaunches();
            ::_exit(first ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(crashed, &status, 0), crashed);
        QCOMPARE(WEXITSTATUS(status), 0);
        QVERIFY(QDir(folder.path()).exists(name + ".lock"));
        QVERIFY(QDir(folder.path()).exists(name + ".socket"));

        SingleInstance next(folder.path(), name);
        QCOMPARE(next.claim(), SingleInstance::Role::first);
        next.listenForLaterLaunches();
        QSignalSpy activated(&next, &SingleInstance::activationRequested);
        SingleInstance later(folder.path(), name);
        QCOMPARE(later.claim(), SingleInstance::Role::later);
        QVERIFY(activated.wait(5000));
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
