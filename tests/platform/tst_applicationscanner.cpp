// Each instance in start order, as processes come, go and change, whatever a process plants.
#include "platform/linux/process/procreader.h"
#include "scannertestcase.h"

#include <csignal>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class ApplicationScannerTest : public ScannerTestCase {
    Q_OBJECT
private slots:
    // One identifier per instance, by each rule, in start order (the lower PID first on a
    // tie): a unit's processes count once, ordered by its first, and so do a program's own
    // children. A process without an identifier, or another user's, is left out.
    void identifiesEachInstanceInStartOrder() {
        const std::string chat = apps + "app-org.example.Chat-77.scope";
        m_proc->add({.pid = 70, .startTime = 50, .executable = m_viewer});
        m_proc->add({.pid = 10, .startTime = 900, .cgroup = chat});
        m_proc->add({.pid = 11, .startTime = 100, .cgroup = chat});
        m_proc->add({.pid = 12, .parent = 11, .startTime = 950, .cgroup = chat});
        m_proc->add({.pid = 60, .startTime = 100, .executable = "/usr/bin/unknown"});
        m_proc->add({.pid = 20, .startTime = 200, .executable = m_editor});
        m_proc->add({.pid = 21, .parent = 20, .startTime = 210, .executable = m_editor});
        m_proc->add({.pid = 22, .parent = 21, .startTime = 220, .executable = m_editor});
        m_proc->add(
            {.pid = 35, .startTime = 300, .cgroup = apps + "snap.spotify.spotify-0a.scope"});
        m_proc->add({.pid = 30, .startTime = 300, .executable = m_editor});
        m_proc->add(
            {.pid = 40, .startTime = 500, .cgroup = apps + "app-gnome-org.ex.Talk-4.scope"});
        const std::string old = apps + "app-org.ex.Old-5.scope";
        m_proc->add({.pid = 80, .startTime = 600, .cgroup = old, .cgroupV1 = true});
        QCOMPARE(scan(), (Ids{"vendor-viewer", "org.example.Chat", "org.example.Editor",
                              "org.example.Editor", "snap.spotify", "org.ex.Talk", "org.ex.Old"}));
        ScannerSources others = sources();
        others.user = ::getuid() + 1;
        QVERIFY(ApplicationScanner(others).scan().empty());
        // A process of the user that is not dumpable: its /proc files are root's.
        m_proc->add(
            {.pid = 90, .startTime = 700, .commandLine = {m_editor}, .realUser = others.user});
        QCOMPARE(ApplicationScanner(others).scan(), Ids{unknown});
    }

    // A sandbox's record names a process only when the process runs from that application's
    // installed files; else the process is what its program, then its unit, says.
    void sandboxes_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("runs"); // "app", "editor", or "lookalike" (outside)
        QTest::addColumn<QString>("claims");
        QTest::addColumn<Ids>("expected");
        const QString scope = "app-flatpak-org.other.Id-1.scope";
        const QString itsUnit = "app-flatpak-org.gimp.GIMP-2.scope";
        const QString gimp = "org.gimp.GIMP";
        const QString none;
        const Ids named{"org.gimp.GIMP"}, editor{"org.example.Editor"}, unit{"org.other.Id"}, no;
        QTest::newRow("installed, no user manager") << none << true << "app" << gimp << named;
        QTest::newRow("installed, its unit") << itsUnit << true << "app" << gimp << named;
        QTest::newRow("forged around the editor") << none << true << "editor" << gimp << editor;
        QTest::newRow("forged around a system program, in the claimed unit")
            << itsUnit << true << "editor" << gimp << editor;
        QTest::newRow("forged, files outside the installations")
            << none << true << "lookalike" << gimp << no;
        QTest::newRow("forged, another application's files")
            << none << true << "app" << QString("org.other.Id") << no;
        QTest::newRow("forged, unit of its own") << scope << true << "lookalike" << gimp << unit;
        QTest::newRow("nothing installed, unit") << scope << false << "app" << gimp << unit;
        QTest::newRow("nothing installed, no unit") << none << false << "app" << gimp << no;
    }

    void sandboxes() {
        QFETCH(QString, unit);
        QFETCH(bool, installed);
        QFETCH(QString, runs);
        QFETCH(QString, claims);
        QFETCH(Ids, expected);
        const Fixture fixture{m_data, m_proc.get(), nullptr, nullptr};
        const fs::path installation = m_data / "flatpak";
        const std::string files = fixture.installSandboxed("flatpak/app/org.gimp.GIMP");
        const std::string lookalike = fixture.installSandboxed("lookalike/app/org.gimp.GIMP");
        const std::string program = runs == "app"      ? files + "/bin/main"
                                    : runs == "editor" ? m_editor
                                                       : lookalike + "/bin/main";
        m_proc->add({.pid = 50,
                     .cgroup = unit.isEmpty() ? "/" : apps + unit.toStdString(),
                     .executable = program,
                     .flatpakName = claims.toStdString(),
                     .flatpakAppPath = runs == "lookalike" ? lookalike : files});
        ScannerSources arranged = sources();
        arranged.flatpakInstallations = {installed ? installation : m_data / "absent"};
        QCOMPARE(ApplicationScanner(arranged).scan(), expected);
    }

    void followsProcessesAsTheyComeAndGo() {
        m_proc->add({.pid = 20, .startTime = 200, .executable = m_editor});
        ApplicationScanner scanner(sources());
        QCOMPARE(scanner.scan(), Ids{"org.example.Editor"});
        m_proc->add({.pid = 25, .startTime = 250, .cgroup = apps + "app-org.example.Chat-1.scope"});
        QCOMPARE(scanner.scan(), (Ids{"org.example.Editor", "org.example.Chat"}));
        m_proc->remove(20);
        QCOMPARE(scanner.scan(), Ids{"org.example.Chat"});
        // The PID comes back as another program: it is identified anew.
        m_proc->add({.pid = 20, .startTime = 400, .executable = m_viewer});
        QCOMPARE(scanner.scan(), (Ids{"org.example.Chat", "vendor-viewer"}));
        // A file replaced where it was, once no process ran it, is read anew.
        const std::string replaced = program("replaced");
        m_proc->add({.pid = 40, .startTime = 450, .executable = replaced});
        QCOMPARE(scanner.scan(), (Ids{"org.example.Chat", "vendor-viewer"}));
        m_proc->remove(40);
        QCOMPARE(scanner.scan(), (Ids{"org.example.Chat", "vendor-viewer"}));
        fs::copy_file(m_editor, replaced, fs::copy_options::overwrite_existing);
        m_proc->add({.pid = 41, .startTime = 460, .executable = replaced});
        QCOMPARE(scanner.scan(), (Ids{"org.example.Chat", "vendor-viewer", "org.example.Editor"}));
        m_proc->remove(41);
        // An entry installed while the agent runs names the processes started after it.
        Fixture{m_data}.userEntry("org.example.New", "Exec=new\n");
        m_proc->add({.pid = 30, .startTime = 500, .executable = program("new")});
        QCOMPARE(scanner.scan(), (Ids{"org.example.Chat", "vendor-viewer", "org.example.New"}));
    }

    // On the real /proc: a process that execs in place is looked at again at the next scan,
    // a program replaced by rename while a process of the old file runs is the new file for
    // the process that runs it, and a copy of an installed program, deleted once it started,
    // is still read through the process for what it is.
    void followsRealProgramsAsTheyChange() {
        const Fixture fixture{m_data, m_proc.get(), nullptr, nullptr};
        const std::string reverser = fixture.copy("/usr/bin/tac", "bin/reverser");
        fixture.systemEntry("org.example.Reverser", "Exec=" + reverser + "\n");
        fixture.systemEntry("org.example.Numberer",
                            "Exec=" + fixture.copy("/usr/bin/nl", "bin/numberer") + "\n");
        const std::string replaced = fixture.copy("/bin/sleep", "tmp/program");
        // The programs wait on one pipe, the exec on another.
        int input[2] = {-1, -1};
        int go[2] = {-1, -1};
        QCOMPARE(::pipe(input), 0);
        QCOMPARE(::pipe(go), 0);
        std::vector<pid_t> children;
        const std::unique_ptr<void, std::function<void(void *)>> ended(&children, [&](void *) {
            for (const pid_t pid : children) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
            for (const int fd : {input[0], input[1], go[0], go[1]}) {
                ::close(fd);
            }
        });
        // The copies of tac and nl (programs nothing else on the machine runs) read the pipe,
        // which stays open; the copy of sleep sleeps; a shell execs the program once it reads a
        // line from the other pipe.
        const auto start = [&](const std::string &program, bool waitFirst,
                               const char *argument = nullptr) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::dup2(input[0], STDIN_FILENO);
                ::dup2(go[0], 3);
                if (waitFirst) {
                    ::execl("/bin/sh", "sh", "-c", "read x <&3; exec \"$0\"", program.c_str(),
                            static_cast<char *>(nullptr));
                }
                ::execl(program.c_str(), "program", argument, static_cast<char *>(nullptr));
                ::_exit(127);
            }
            children.push_back(pid);
            return pid;
        };
        const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const auto runs = [procFd](pid_t pid, const std::string &program) {
            return ProcReader(procFd).executable(pid) == program;
        };
        const pid_t old = start(replaced, false, "600");
        QTRY_VERIFY2(runs(old, replaced), "the program to replace did not start");
        fs::rename(fixture.copy("/usr/bin/tac", "tmp/new"), replaced);
        const pid_t renewed = start(replaced, false);
        const pid_t execs = start(reverser, true);
        QTRY_VERIFY2(runs(renewed, replaced), "the replacing program did not start");
        const std::string deleted = fixture.copy("/usr/bin/nl", "tmp/renamed");
        const pid_t copied = start(deleted, false);
        QTRY_VERIFY2(runs(copied, deleted), "the copy to delete did not start");
        fs::remove(deleted);
        QTRY_VERIFY2(runs(execs, fs::canonical("/bin/sh")), "the shell that execs did not start");
        ScannerSources real = sources();
        real.procRoot = "/proc";
        ApplicationScanner scanner(real);
        const Ids before = scanner.scan();
        QCOMPARE(::write(go[1], "x\n", 2), 2);
        QTRY_VERIFY2(runs(execs, reverser), "the waiting process did not exec");
        const Ids after = scanner.scan();
        ::close(procFd);
        // The process of the old file is not what now lies at its path.
        QCOMPARE(joined(before), "org.example.Reverser org.example.Numberer");
        QCOMPARE(joined(after), "org.example.Reverser org.example.Reverser org.example.Numberer");
    }

    // A process of the user can put a FIFO or a device where the scanner reads; the scan must
    // neither block nor read without end, and it still names the other applications.
    void filesAProcessPlantsCannotBlockTheScan() {
        m_proc->add({.pid = 20, .startTime = 200, .executable = m_editor});
        m_proc->add({.pid = 30, .flatpakName = "x"});
        const fs::path fifo = m_proc->root() / "30/root/.flatpak-info";
        fs::remove(fifo);
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        m_proc->add({.pid = 40, .flatpakName = "x"});
        fs::remove(m_proc->root() / "40/root/.flatpak-info");
        fs::create_symlink("/dev/zero", m_proc->root() / "40/root/.flatpak-info");

        auto scanned = std::async(std::launch::async, [this] { return scan(); });
        if (scanned.wait_for(10s) != std::future_status::ready) {
            ::close(::open(fifo.c_str(), O_WRONLY)); // lets the blocked read end
            QFAIL("The scan blocked on a FIFO");
        }
        QCOMPARE(scanned.get(), Ids{"org.example.Editor"});
        ScannerSources missing = sources();
        missing.procRoot = m_data / "nowhere";
        QVERIFY(ApplicationScanner(missing).scan().empty());
    }
};

QTEST_APPLESS_MAIN(ApplicationScannerTest)
#include "tst_applicationscanner.moc"
