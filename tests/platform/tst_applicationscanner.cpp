#include "fakeproctree.h"
#include "platform/linux/applicationscanner.h"

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

constexpr const char *userApps = "/user.slice/user-1000.slice/user@1000.service/app.slice/";

void makeExecutable(const fs::path &path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n";
    fs::permissions(path, fs::perms::owner_all);
}

} // namespace

class ApplicationScannerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeProcTree> m_proc;
    fs::path m_data;
    fs::path m_bin;

    ScannerSources sources() const {
        ScannerSources sources;
        sources.procRoot = m_proc->root();
        sources.dataDirs = {m_data / "home", m_data / "system"};
        sources.searchPath = {m_bin};
        sources.flatpakInstallations = {m_data};
        sources.user = ::getuid();
        return sources;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        const fs::path base = m_dir->path().toStdString();
        m_proc = std::make_unique<FakeProcTree>(base / "proc");
        m_data = base / "data";
        m_bin = base / "bin";
        makeExecutable(m_bin / "editor");
        makeExecutable(m_bin / "viewer");
        writeDesktopEntry(m_data / "system", "org.example.Editor.desktop",
                          "[Desktop Entry]\nType=Application\nName=Editor\nExec=editor %F\n");
        writeDesktopEntry(m_data / "system", "vendor/viewer.desktop",
                          "[Desktop Entry]\nType=Application\nExec=env A=1 " +
                              (m_bin / "viewer").string() + "\n");
    }

    void identifiesByEachRuleInLaunchOrder() {
        m_proc->add({.pid = 40,
                     .startTime = 500,
                     .cgroup = std::string(userApps) + "app-gnome-org.example.Chat-4242.scope"});
        m_proc->add({.pid = 30,
                     .startTime = 400,
                     .cgroup = std::string(userApps) +
                               "snap.spotify.spotify-0a1b2c3d-0000-1111-2222-333344445555.scope"});
        m_proc->add({.pid = 20, .startTime = 300, .executable = (m_bin / "editor").string()});
        m_proc->add({.pid = 50,
                     .startTime = 300,
                     .cgroup = std::string(userApps) + "app-flatpak-org.other.Id-1.scope",
                     .flatpakName = "org.gimp.GIMP"});
        m_proc->add({.pid = 60, .startTime = 100, .executable = "/usr/bin/unknown"});
        m_proc->add({.pid = 70, .startTime = 50, .executable = (m_bin / "viewer").string()});

        ApplicationScanner scanner(sources());
        // Same start time: the lower PID first. No identifier: left out.
        QCOMPARE(scanner.scan(), (Ids{"vendor-viewer", "org.example.Editor", "org.gimp.GIMP",
                                      "snap.spotify", "org.example.Chat"}));
    }

    void sandboxFileNamesSandboxesWhereTheyCanRun_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<Ids>("expected");
        const QString flatpakScope = "app-flatpak-org.other.Id-1.scope";
        QTest::newRow("sandbox's unit") << flatpakScope << true << Ids{"org.gimp.GIMP"};
        QTest::newRow("no user manager") << QString() << true << Ids{"org.gimp.GIMP"};
        QTest::newRow("nothing installed, unit") << flatpakScope << false << Ids{"org.other.Id"};
        QTest::newRow("nothing installed, no unit") << QString() << false << Ids{};
    }

    void sandboxFileNamesSandboxesWhereTheyCanRun() {
        QFETCH(QString, unit);
        QFETCH(bool, installed);
        QFETCH(Ids, expected);
        m_proc->add({.pid = 50,
                     .cgroup = unit.isEmpty() ? "/" : std::string(userApps) + unit.toStdString(),
                     .flatpakName = "org.gimp.GIMP"});
        ScannerSources withoutSandboxes = sources();
        if (!installed) {
            withoutSandboxes.flatpakInstallations = {m_data / "absent"};
        }
        ApplicationScanner scanner(withoutSandboxes);
        QCOMPARE(scanner.scan(), expected);
    }

    void oneEntryPerInstance() {
        const std::string unit = std::string(userApps) + "app-org.example.Chat-77.scope";
        // A unit's processes count once, ordered by its first process.
        m_proc->add({.pid = 10, .startTime = 900, .cgroup = unit});
        m_proc->add({.pid = 11, .startTime = 100, .cgroup = unit});
        m_proc->add({.pid = 12, .parent = 11, .startTime = 950, .cgroup = unit});
        // Two editors started on their own, and the children of the first.
        m_proc->add({.pid = 20, .startTime = 200, .executable = (m_bin / "editor").string()});
        m_proc->add(
            {.pid = 21, .parent = 20, .startTime = 210, .executable = (m_bin / "editor").string()});
        m_proc->add(
            {.pid = 22, .parent = 21, .startTime = 220, .executable = (m_bin / "editor").string()});
        m_proc->add({.pid = 30, .startTime = 300, .executable = (m_bin / "editor").string()});

        ApplicationScanner scanner(sources());
        QCOMPARE(scanner.scan(),
                 (Ids{"org.example.Chat", "org.example.Editor", "org.example.Editor"}));
    }

    void onlyTheUsersProcesses() {
        m_proc->add({.pid = 20, .startTime = 200, .executable = (m_bin / "editor").string()});
        ScannerSources others = sources();
        others.user = ::getuid() + 1;
        ApplicationScanner scanner(others);
        QVERIFY(scanner.scan().empty());
    }

    void followsProcessesAsTheyComeAndGo() {
        m_proc->add({.pid = 20, .startTime = 200, .executable = (m_bin / "editor").string()});
        ApplicationScanner scanner(sources());
        QCOMPARE(scanner.scan(), Ids{"org.example.Editor"});

        m_proc->add({.pid = 25,
                     .startTime = 250,
                     .cgroup = std::string(userApps) + "app-org.example.Chat-1.scope"});
        QCOMPARE(scanner.scan(), (Ids{"org.example.Editor", "org.example.Chat"}));

        m_proc->remove(20);
        QCOMPARE(scanner.scan(), Ids{"org.example.Chat"});

        // The PID comes back as another program: it is identified anew.
        m_proc->add({.pid = 20, .startTime = 400, .executable = (m_bin / "viewer").string()});
        QCOMPARE(scanner.scan(), (Ids{"org.example.Chat", "vendor-viewer"}));
    }

    void desktopEntriesFollowTheirFolders() {
        m_proc->add({.pid = 20, .startTime = 200, .executable = (m_bin / "editor").string()});
        // The user's own entry with the same ID hides the system's; a hidden entry counts as none.
        writeDesktopEntry(m_data / "home", "org.example.Editor.desktop",
                          "[Desktop Entry]\nHidden=true\nExec=editor\n");
        writeDesktopEntry(m_data / "home", "my-editor.desktop",
                          "[Desktop Entry]\nType=Application\nTryExec=editor\nExec=editor\n");
        // A terminal program's entry names no process.
        writeDesktopEntry(m_data / "system", "viewer-console.desktop",
                          "[Desktop Entry]\nTerminal=true\nExec=viewer\n");
        writeDesktopEntry(m_data / "system", "vendor/viewer.desktop",
                          "[Desktop Entry]\nType=Application\nTerminal=true\nExec=viewer\n");
        m_proc->add({.pid = 10, .startTime = 100, .executable = (m_bin / "viewer").string()});
        ApplicationScanner scanner(sources());
        QCOMPARE(scanner.scan(), Ids{"my-editor"});

        // An entry installed while the agent runs names the processes started after it.
        makeExecutable(m_bin / "newtool");
        writeDesktopEntry(m_data / "home", "org.example.NewTool.desktop",
                          "[Desktop Entry]\nExec=newtool\n");
        m_proc->add({.pid = 30, .startTime = 300, .executable = (m_bin / "newtool").string()});
        QCOMPARE(scanner.scan(), (Ids{"my-editor", "org.example.NewTool"}));
    }

    void readsTheLegacyCgroupHierarchy() {
        m_proc->add({.pid = 20,
                     .startTime = 1,
                     .cgroup = std::string(userApps) + "app-org.example.Old-5.scope",
                     .cgroupV1 = true});
        ApplicationScanner scanner(sources());
        QCOMPARE(scanner.scan(), Ids{"org.example.Old"});
    }

    // A process of the user can put a FIFO or a device where the scanner reads; the scan must
    // neither block nor read without end, and it still names the other applications.
    void filesAProcessPlantsCannotBlockTheScan() {
        m_proc->add({.pid = 20, .startTime = 200, .executable = (m_bin / "editor").string()});
        m_proc->add({.pid = 30, .startTime = 300, .executable = "/usr/bin/unknown"});
        const fs::path fifo = m_proc->root() / "30/root/.flatpak-info";
        fs::create_directories(fifo.parent_path());
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        m_proc->add({.pid = 40, .startTime = 400, .executable = "/usr/bin/unknown"});
        fs::create_directories(m_proc->root() / "40/root");
        fs::create_symlink("/dev/zero", m_proc->root() / "40/root/.flatpak-info");

        auto scan =
            std::async(std::launch::async, [this] { return ApplicationScanner(sources()).scan(); });
        if (scan.wait_for(10s) != std::future_status::ready) {
            // Let the blocked read end so the test can report instead of hanging.
            const int writer = ::open(fifo.c_str(), O_WRONLY);
            ::close(writer);
            QFAIL("The scan blocked on a FIFO");
        }
        QCOMPARE(scan.get(), Ids{"org.example.Editor"});
    }

    void aMissingProcRootGivesNothing() {
        ScannerSources missing = sources();
        missing.procRoot = m_dir->filePath("nowhere").toStdString();
        ApplicationScanner scanner(missing);
        QVERIFY(scanner.scan().empty());
    }
};

QTEST_APPLESS_MAIN(ApplicationScannerTest)
#include "tst_applicationscanner.moc"
