#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

// The real executable starts, shows its window, writes nothing in key entry, stays the only
// agent of the session, and quits cleanly when the platform asks it to.
class SmokeTest : public QObject {
    Q_OBJECT

private slots:
    void startsAndQuitsCleanly() {
        // A session of its own, so an agent running elsewhere on this machine is not found.
        QTemporaryDir runtime;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        QProcess agent;
        agent.setProcessEnvironment(environment);
        agent.start(QStringLiteral(QOLVI_AGENT_EXECUTABLE), {});
        QVERIFY(agent.waitForStarted());
        // Still running after its first ticks: the window loaded and the timer runs.
        QVERIFY(!agent.waitForFinished(3500));

        // A second launch hands over to the first and ends at once.
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(QOLVI_AGENT_EXECUTABLE), {});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
        QCOMPARE(agent.state(), QProcess::Running);

        ::kill(pid_t(agent.processId()), SIGTERM);
        QVERIFY(agent.waitForFinished(5000));
        QCOMPARE(agent.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.exitCode(), 0);
        QCOMPARE(agent.readAllStandardOutput(), QByteArray());
        const QByteArray errors = agent.readAllStandardError();
        QVERIFY2(!errors.contains("qrc:/"), errors.constData());
    }
};

QTEST_GUILESS_MAIN(SmokeTest)
#include "tst_smoke.moc"
