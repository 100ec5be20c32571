// What names an application: a unit, an Exec line, and a table of the evidence about a process.
#include "platform/linux/process/unitname.h"
#include "scannertestcase.h"

namespace {

// The windows a test's display shows, listed once.
class FixedWindows final : public WindowList {
public:
    FixedWindows(std::vector<OwnedWindow> windows, int &asked)
        : m_windows(std::move(windows))
        , m_asked(asked) {}
    bool refresh(const SessionState & /*session*/) override { return ++m_asked == 1; }
    [[nodiscard]] const std::vector<OwnedWindow> &windows() const override { return m_windows; }

private:
    std::vector<OwnedWindow> m_windows;
    int &m_asked;
};

// One row per way an application runs, and per way a candidate might hide one.
std::vector<Rule> everyRule() {
    std::vector<Rule> rules;
    const auto rule = [&rules](const char *name, Ids expected, Arrange arrange) {
        rules.push_back({name, std::move(arrange), std::move(expected)});
    };
    rule("a user entry claims a system program", {"org.telegram.desktop"}, [](auto &f) {
        f.systemEntry("org.telegram.desktop", "Exec=telegram\n");
        f.userEntry("org.gnome.Calculator", "Exec=telegram\n");
        f.run(10, f.file("bin/telegram"), {"telegram"});
    });
    // A user entry hides or marks the system entry.
    rule("user hides, marks", {"org.telegram.desktop", "org.example.Chat"}, [](auto &f) {
        f.systemEntry("org.telegram.desktop", "Exec=telegram\n");
        f.systemEntry("org.example.Chat", "Exec=chat\n");
        f.userEntry("org.telegram.desktop", "Hidden=true\nExec=telegram\n");
        f.userEntry("org.example.Chat", "Terminal=true\nExec=chat\n");
        f.run(10, f.file("bin/telegram"), {"telegram"});
        f.run(11, f.file("bin/chat"), {"chat"});
    });
    rule("a user entry for a copy of a system program", {"org.telegram.desktop"}, [](auto &f) {
        f.systemEntry("org.telegram.desktop",
                      "Exec=" + f.copy("/bin/sleep", "bin/telegram") + "\n");
        f.userEntry("org.gnome.Calculator", "Exec=" + f.copy("/bin/sleep", "home/tg") + "\n");
        f.run(10, f.data / "home/tg", {"tg"});
    });
    rule("the entry its launcher names", {"org.example.Launched"}, [](auto &f) {
        f.systemEntry("org.example.Launched", "Exec=sh -c \"cd /opt && ./run\"\n");
        const auto launched = f.launchedFrom("org.example.Launched", 10);
        f.proc->add({.pid = 10, .executable = f.file("opt/run"), .environment = launched});
        f.proc->add(
            {.pid = 11, .parent = 10, .executable = f.file("opt/helper"), .environment = launched});
    });
    // A window never renames what its program names; a window's class names an entry
    // whatever its case; its first ID wins; an ID of no entry and no reverse-DNS names nothing.
    rule("what windows name", {"org.telegram.desktop", "org.example.Viewer", "org.example.First"},
         [](auto &f) {
             f.systemEntry("org.telegram.desktop", "Exec=telegram\n");
             f.systemEntry("org.gnome.Calculator", "Exec=gnome-calculator\n");
             f.systemEntry("org.example.Viewer", "Exec=no-viewer\nStartupWMClass=Fixture-Viewer\n");
             const std::string unnamed = f.file("bin/unnamed");
             f.run(10, f.file("bin/telegram"), {"telegram"});
             f.window(10, {"org.gnome.Calculator"}, {"gnome-calculator"});
             f.run(11, unnamed, {"unnamed"});
             f.window(11, {}, {"FIXTURE-VIEWER"});
             f.run(12, unnamed, {"unnamed"});
             f.window(12, {"org.example.First", "org.example.Second"});
             f.window(12, {"org.example.Third"});
             f.run(13, unnamed, {"unnamed"});
             f.window(13, {"Gimp-2.10"}, {"gimp"});
         });
    rule("no X asked in a Wayland session without Xwayland", {}, [](auto &f) {
        f.sources->waylandSession = true;
        f.run(10, f.file("bin/unnamed"), {"unnamed"});
        f.window(10, {"org.example.Native"});
    });
    rule("its Xwayland asked in a Wayland session", {"org.example.Native"}, [](auto &f) {
        f.sources->waylandSession = true;
        f.run(5, f.file("bin/Xwayland"), {"Xwayland"});
        f.run(10, f.file("bin/unnamed"), {"unnamed"});
        f.window(10, {"org.example.Native"});
    });
    // Another user's program: the system's by its command line; a second account's, whose
    // word nothing can check, not by what its command line names, though by a window's ID of
    // its own.
    rule("another user's", {"org.telegram.desktop", unknown, "org.example.Other"}, [](auto &f) {
        f.sources->user = ::getuid() + 1;
        f.systemEntry("org.telegram.desktop", "Exec=telegram\n");
        f.file("bin/telegram");
        f.proc->add({.pid = 10, .startTime = 10, .commandLine = {"telegram"}, .realUser = 0});
        f.window(10, {"org.gnome.Calculator"});
        f.proc->add({.pid = 11, .startTime = 11, .commandLine = {"telegram"}, .realUser = 4242});
        f.window(11, {"org.telegram.desktop"});
        f.run(12, "", {"unnamed"});
        f.window(12, {"org.example.Other"});
    });
    rule("a launcher's few alike children are each asked", {"org.example.Launched"}, [](auto &f) {
        f.systemEntry("org.example.Launched", "Exec=sh -c \"cd /opt && ./run\"\n");
        const std::string run = f.file("opt/run");
        for (const pid_t pid : {11, 12, 13}) {
            f.proc->add({.pid = pid, .parent = 5, .startTime = 1, .executable = run});
        }
        f.proc->add({.pid = 20,
                     .parent = 5,
                     .startTime = 2,
                     .executable = run,
                     .environment = f.launchedFrom("org.example.Launched", 20)});
    });
    // A launcher's pool of one program leaves its other children asked.
    rule("a launcher's pool", {"org.example.Launched"}, [](auto &f) {
        f.systemEntry("org.example.Launched", "Exec=sh -c \"cd /opt && ./run\"\n");
        const std::string worker = f.file("opt/worker");
        // Made before and after it: listed before it, whichever way the folder lists them.
        const auto workers = [&f, &worker](pid_t from) {
            for (pid_t pid = from; pid < from + 10; ++pid) {
                f.proc->add({.pid = pid, .parent = 5, .startTime = 1, .executable = worker});
            }
        };
        workers(11);
        f.proc->add({.pid = 30,
                     .parent = 5,
                     .startTime = 2,
                     .executable = f.file("opt/run"),
                     .environment = f.launchedFrom("org.example.Launched", 30)});
        workers(31);
    });
    // A service that runs an interpreter names its script only.
    rule("service interpreter", {"org.gnome.Shell.Extensions", "org.gnome.Weather"}, [](auto &f) {
        const std::string console = f.file("bin/gjs-console");
        const std::string gjs = f.link(console, "bin/gjs");
        const std::string extensions =
            f.file("share/shell/org.gnome.Shell.Extensions", "imports.package.start({});\n");
        f.file("system/dbus-1/services/org.gnome.Shell.Extensions.service",
               "[D-BUS Service]\nName=org.gnome.Shell.Extensions\nExec=" + gjs + " " + extensions +
                   "\n");
        f.systemEntry("org.gnome.Shell.Extensions", "Exec=gnome-extensions-app\n");
        f.systemEntry("org.gnome.Weather", "Exec=gnome-weather\n");
        const std::string weather = f.file("bin/gnome-weather", "#!" + gjs + " -m\n");
        f.run(10, console, {gjs, extensions});
        f.run(11, console, {gjs, "-m", weather});
        f.run(12, console, {gjs, f.file("tmp/mine.js", "#!" + gjs + "\n")});
    });
    rule("a script read from standard input", {"org.gnome.Meld"}, [](auto &f) {
        const std::string python = f.link(f.file("bin/python3.11"), "bin/python3");
        f.systemEntry("org.gnome.Meld", "Exec=meld %F\n");
        const std::string meld = f.file("bin/meld", "#!" + python + "\n");
        f.proc->add({.pid = 10,
                     .executable = f.data / "bin/python3.11",
                     .commandLine = {"python3", "-"},
                     .standardInput = meld});
    });
    // A data folder inside the home is the user's wherever it is listed.
    rule("a data folder in home", {"org.telegram.desktop"}, [](auto &f) {
        f.sources->dataDirs.push_back(f.data / "home/share");
        writeDesktopEntry(f.data / "home/share", "org.example.Sneaky.desktop",
                          "[Desktop Entry]\nExec=telegram\n");
        f.systemEntry("org.telegram.desktop", "Exec=telegram\n");
        f.run(10, f.file("bin/telegram"), {"telegram"});
    });
    rule("a user entry of a system entry's ID names no program of the user's", {}, [](auto &f) {
        f.systemEntry("org.telegram.desktop", "Exec=telegram\n");
        f.file("bin/telegram");
        f.userEntry("org.telegram.desktop", "Exec=" + f.file("home/bin/mine") + "\n");
        f.run(10, f.data / "home/bin/mine", {"mine"});
    });
    // What the candidate controls claims an installed application.
    rule("candidate's claims", {unknown, unknown, unknown, "org.example.Chat"}, [](auto &f) {
        f.systemEntry("org.example.Chat", "Exec=chat\n");
        const std::string unnamed = f.file("bin/unnamed");
        f.run(10, unnamed, {"unnamed"});
        f.window(10, {"org.example.Chat"});
        f.proc->add({.pid = 11,
                     .startTime = 11,
                     .executable = unnamed,
                     .environment = f.launchedFrom("org.example.Chat", 11)});
        f.run(12, unnamed, {"unnamed"}, "app-gnome-org.example.Chat-1.scope");
        // Beside the application itself, in its unit, a helper is part of it.
        f.run(13, f.file("bin/chat"), {"chat"}, "app-gnome-org.example.Chat-2.scope");
        f.run(14, unnamed, {"unnamed"}, "app-gnome-org.example.Chat-2.scope");
    });
    // Of several entries for one program: one shown in menus before one hidden from them, the
    // ID that ends in the program's name, and the least ID among equals (read in this order:
    // a folder's entries before the name that extends the folder's).
    rule("which entry of several", {"vlc", "debian-xterm", "a-b"}, [](auto &f) {
        f.systemEntry("vlc", "Exec=vlc --started-from-file %U\n");
        f.systemEntry("vlc-openbd", "NoDisplay=true\nExec=vlc --started-from-file bluray://\n");
        f.run(10, f.file("bin/vlc"), {"vlc"});
        f.systemEntry("a-terminal", "Exec=xterm\n");
        f.systemEntry("debian-xterm", "Exec=xterm\n");
        f.run(11, f.file("bin/xterm"), {"xterm"});
        f.systemEntry("a/z", "Exec=runner\n");
        f.systemEntry("a-b", "Exec=runner\n");
        f.run(12, f.file("bin/runner"), {"runner"});
    });
    addProgramRules(rule);
    return rules;
}
const std::vector<Rule> rules = everyRule();

} // namespace

class IdentificationRulesTest : public ScannerTestCase {
    Q_OBJECT
private slots:
    // What a unit's name says ("-" for no application), and which program an entry's Exec
    // line runs (rows that start "Exec=").
    void namesInText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named");
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
            {"Exec=/opt/app/bin/app --new-window %u", "/opt/app/bin/app"},
            {R"(Exec="/opt/My App/run" %F)", "/opt/My App/run"},
            {"Exec=env GDK_BACKEND=x11 LANG=C tool", "tool"},
            {"Exec=", ""}};
        for (const auto &[text, named] : rows) {
            QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(named);
        }
    }

    void namesInText() {
        QFETCH(QString, text);
        QFETCH(QString, named);
        if (text.startsWith("Exec=")) {
            QCOMPARE(QString::fromStdString(execProgram(text.mid(5).toStdString())), named);
            return;
        }
        const auto found = applicationIdFromUnit(text.toStdString());
        QCOMPARE(found ? QString::fromStdString(*found) : "-", named);
        QCOMPARE(unescapeUnitText(R"(\xzz\x41\x2)"), std::string(R"(\xzzA\x2)"));
    }

    void identificationRules_data() {
        QTest::addColumn<std::size_t>("rule");
        for (std::size_t index = 0; index < rules.size(); ++index) {
            QTest::newRow(rules[index].name) << index;
        }
    }

    // Each process by the strongest evidence about itself: its sandbox, its program as
    // installed, wrapped, interpreted or copied, its unit, how it was launched, and last the
    // user's own entries, which never outrank the system's.
    void identificationRules() {
        QFETCH(std::size_t, rule);
        ScannerSources arranged = sources();
        std::vector<OwnedWindow> windows;
        rules[rule].arrange(Fixture{m_data, m_proc.get(), &arranged, &windows});
        int asked = 0;
        arranged.openX11Display = [&windows, &asked](const std::string &) {
            return std::make_unique<FixedWindows>(windows, asked);
        };
        QCOMPARE(joined(ApplicationScanner(arranged).scan()), joined(rules[rule].expected));
    }
};

QTEST_APPLESS_MAIN(IdentificationRulesTest)
#include "tst_identificationrules.moc"
