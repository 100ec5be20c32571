// The Linux scanner over a /proc tree and data folders the test builds: which processes are
// applications, by which identifier, in which order, and what no process can do to the scan.

#include "fakeproctree.h"
#include "platform/linux/applicationscanner.h"
#include "platform/linux/desktopentryindex.h"
#include "platform/linux/unitname.h"

#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent::linux_backend;
using namespace Qolvi_Desktop_Agent::testing;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using Ids = std::vector<std::string>;

const std::string apps = "/user.slice/user-1000.slice/user@1000.service/app.slice/";

} // namespace

class ApplicationScannerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeProcTree> m_proc;
    fs::path m_data;
    std::string m_editor;
    std::string m_viewer;

    [[nodiscard]] std::string program(const std::string &name) const {
        const fs::path path = m_data / "bin" / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "#!/bin/sh\n";
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }
    [[nodiscard]] ScannerSources sources() const {
        return {.procRoot = m_proc->root(),
                .dataDirs = {m_data / "home", m_data / "system"},
                .searchPath = {m_data / "bin"},
                .flatpakInstallations = {m_data},
                .user = ::getuid()};
    }
    [[nodiscard]] Ids scan() const { return ApplicationScanner(sources()).scan(); }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_proc = std::make_unique<FakeProcTree>(fs::path(m_dir->path().toStdString()) / "proc");
        m_data = fs::path(m_dir->path().toStdString()) / "data";
        m_editor = program("editor");
        m_viewer = program("viewer");
        writeDesktopEntry(m_data / "system", "org.example.Editor.desktop",
                          "[Desktop Entry]\nType=Application\nName=Editor\nExec=editor %F\n");
        writeDesktopEntry(m_data / "system", "vendor/viewer.desktop",
                          "[Desktop Entry]\nExec=env A=1 " + m_viewer + "\n");
    }

    void unitNames_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("id"); // "-" for none
        const std::pair<const char *, const char *> rows[] = {
            {R"(app-gnome-org.gnome.Evo\x2dalarm-2437.scope)", "org.gnome.Evo-alarm"},
            {"app-org.mozilla.firefox-1234.scope", "org.mozilla.firefox"},
            {"app-flatpak-org.gimp.GIMP-98765.scope", "org.gimp.GIMP"},
            {"app-org.example.Daemon.service", "org.example.Daemon"},
            {"app-gnome-org.example.Tool@8c2f.service", "org.example.Tool"},
            {"app-kde-org.kde.kalendarac-autostart@a1.service", "org.kde.kalendarac"},
            {"app-gnome-autostart.service", "autostart"},
            {"snap.my-app.run-0a1b2c3d-aaaa-bbbb-cccc-ddddeeeeffff.scope", "snap.my-app"},
            {R"(app-org.example.Caf\xc3\xa9-77.scope)", "org.example.Café"},
            {"session-2.scope", "-"},
            {"vte-spawn-1d2b3c.scope", "-"},
            {"app-org.gnome.Terminal.slice", "-"},
            {"app-org.example.A.scope", "-"},
            {"app-a-b-c-d.scope", "-"},
            {"app--12.scope", "-"},
            {"snap.firefox-1234.scope", "-"},
        };
        for (const auto &[unit, id] : rows) {
            QTest::newRow(unit) << QString::fromUtf8(unit) << QString::fromUtf8(id);
        }
    }

    void unitNames() {
        QFETCH(QString, unit);
        QFETCH(QString, id);
        const auto found = applicationIdFromUnit(unit.toStdString());
        QCOMPARE(found ? QString::fromStdString(*found) : QStringLiteral("-"), id);
        QCOMPARE(unescapeUnitText(R"(\xzz\x41\x2)"), std::string(R"(\xzzA\x2)"));
    }

    void execPrograms_data() {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("program");
        QTest::newRow("arguments") << "/opt/app/bin/app --new-window %u"
                                   << "/opt/app/bin/app";
        QTest::newRow("quoted with blank") << R"("/opt/My App/run" %F)"
                                           << "/opt/My App/run";
        QTest::newRow("env prefix") << "env GDK_BACKEND=x11 LANG=C tool"
                                    << "tool";
        QTest::newRow("empty") << ""
                               << "";
    }

    void execPrograms() {
        QFETCH(QString, exec);
        QFETCH(QString, program);
        QCOMPARE(QString::fromStdString(execProgram(exec.toStdString())), program);
    }

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
        m_proc->add({.pid = 50,
                     .startTime = 200,
                     .cgroup = apps + "app-flatpak-org.other.Id-1.scope",
                     .flatpakName = "org.gimp.GIMP"});
        m_proc->add({.pid = 30, .startTime = 300, .executable = m_editor});
        m_proc->add(
            {.pid = 35, .startTime = 400, .cgroup = apps + "snap.spotify.spotify-0a.scope"});
        m_proc->add(
            {.pid = 40, .startTime = 500, .cgroup = apps + "app-gnome-org.ex.Talk-4.scope"});
        m_proc->add({.pid = 80,
                     .startTime = 600,
                     .cgroup = apps + "app-org.ex.Old-5.scope",
                     .cgroupV1 = true});
        QCOMPARE(scan(),
                 (Ids{"vendor-viewer", "org.example.Chat", "org.example.Editor", "org.gimp.GIMP",
                      "org.example.Editor", "snap.spotify", "org.ex.Talk", "org.ex.Old"}));
        ScannerSources others = sources();
        others.user = ::getuid() + 1;
        QVERIFY(ApplicationScanner(others).scan().empty());
    }

    // A sandbox's own file names it where it can run; else its unit, else nothing.
    void sandboxes_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<Ids>("expected");
        const QString scope = "app-flatpak-org.other.Id-1.scope";
        QTest::newRow("no user manager") << QString() << true << Ids{"org.gimp.GIMP"};
        QTest::newRow("nothing installed, unit") << scope << false << Ids{"org.other.Id"};
        QTest::newRow("nothing installed, no unit") << QString() << false << Ids{};
    }

    void sandboxes() {
        QFETCH(QString, unit);
        QFETCH(bool, installed);
        QFETCH(Ids, expected);
        m_proc->add({.pid = 50,
                     .cgroup = unit.isEmpty() ? "/" : apps + unit.toStdString(),
                     .flatpakName = "org.gimp.GIMP"});
        ScannerSources withoutSandboxes = sources();
        if (!installed) {
            withoutSandboxes.flatpakInstallations = {m_data / "absent"};
        }
        QCOMPARE(ApplicationScanner(withoutSandboxes).scan(), expected);
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
        // An entry installed while the agent runs names the processes started after it.
        writeDesktopEntry(m_data / "home", "org.example.New.desktop",
                          "[Desktop Entry]\nExec=new\n");
        m_proc->add({.pid = 30, .startTime = 500, .executable = program("new")});
        QCOMPARE(scanner.scan(), (Ids{"org.example.Chat", "vendor-viewer", "org.example.New"}));
    }

    // The user's entry hides the system's of the same ID; a hidden entry is none, and a
    // terminal program's entry names no process.
    void desktopEntriesAsTheSpecificationReadsThem() {
        writeDesktopEntry(m_data / "home", "org.example.Editor.desktop",
                          "[Desktop Entry]\nHidden=true\nExec=editor\n");
        writeDesktopEntry(m_data / "system", "vendor/viewer.desktop",
                          "[Desktop Entry]\nTerminal=true\nExec=viewer\n");
        writeDesktopEntry(m_data / "home", "my-tool.desktop", "[Desktop Entry]\nExec=mine\n");
        m_proc->add({.pid = 20, .startTime = 200, .executable = m_editor});
        m_proc->add({.pid = 10, .startTime = 100, .executable = m_viewer});
        m_proc->add({.pid = 30, .startTime = 300, .executable = program("mine")});
        QCOMPARE(scan(), Ids{"my-tool"});
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
