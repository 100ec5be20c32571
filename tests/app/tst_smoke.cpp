#include <QProcess>
#include <QTest>
#include <csignal>

// The real executable starts, shows its window, writes nothing in key entry, and quits cleanly
// when the platform asks it to.
class SmokeTest : public QObject {
    Q_OBJECT

private slots:
    void startsAndQuitsCleanly() {
        QProcess agent;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        agent.setProcessEnvironment(environment);
        agent.start(QStringLiteral(QOLVI_AGENT_EXECUTABLE), {});
        QVERIFY(agent.waitForStarted());
        // Still running after its first ticks: the window loaded and the timer runs.
        QVERIFY(!agent.waitForFinished(3500));

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
