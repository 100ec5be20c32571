#include "platform/linux/applicationscanner.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::linux_backend;

// Against the real /proc: a program that an installed desktop entry names shows up while it
// runs and goes when it ends.
class RunningApplicationsLiveTest : public QObject {
    Q_OBJECT

private slots:
    void aStartedApplicationAppearsAndGoes() {
        QTemporaryDir dir;
        const QString program = dir.filePath("qolvi-live-probe");
        QVERIFY(QFile::copy("/bin/sleep", program));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(QDir(dir.path()).mkpath("data/applications"));
        QFile entry(dir.filePath("data/applications/org.qolvi.LiveProbe.desktop"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Probe\nExec=" + program.toUtf8() +
                    " 60\n");
        entry.close();

        ScannerSources sources;
        sources.dataDirs = {dir.filePath("data").toStdString()};
        sources.user = ::getuid();
        ApplicationScanner scanner(sources);
        const auto count = [&scanner] {
            const std::vector<std::string> ids = scanner.scan();
            return std::count(ids.begin(), ids.end(), "org.qolvi.LiveProbe");
        };
        QCOMPARE(count(), 0);

        QProcess probe;
        probe.start(program, {"60"});
        QVERIFY(probe.waitForStarted());
        QTRY_COMPARE(count(), 1);

        probe.kill();
        QVERIFY(probe.waitForFinished());
        QTRY_COMPARE(count(), 0);
    }
};

QTEST_GUILESS_MAIN(RunningApplicationsLiveTest)
#include "tst_runningapplications_live.moc"
