// The Linux scanner over a /proc tree and data folders the test builds: which processes are
// applications, by which identifier, in which order, and what no process can do to the scan.

#include "fakeproctree.h"
#include "platform/linux/entries/desktopentry.h"
#include "platform/linux/evidence/evidencetable.h"
#include "platform/linux/process/procreader.h"
#include "platform/linux/process/unitname.h"
#include "platform/linux/scanner/applicationscanner.h"

#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <future>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent::linux_backend;
using namespace Qolvi_Desktop_Agent::testing;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using Ids = std::vector<std::string>;

// Identifiers as one line, for a failure to show them.
QString joined(const Ids &ids) {
    std::string line;
    for (const std::string &id : ids) {
        line += (line.empty() ? "" : " ") + id;
    }
    return QString::fromStdString(line);
}

const std::string apps = "/user.slice/user-1000.slice/user@1000.service/app.slice/";

// A /proc tree and data folders ("system" and the user's own "home/.local/share") to arrange
// one case in: programs are written where they are named, processes added as they run.
struct Fixture {
    fs::path data;
    FakeProcTree *proc = nullptr;
    ScannerSources *sources = nullptr;
    std::vector<OwnedWindow> *windows = nullptr;

    // A path in the data folders, its folder made.
    [[nodiscard]] fs::path at(const std::string &relative) const {
        fs::create_directories((data / relative).parent_path());
        return data / relative;
    }
    // Each program its own content, unless it is given some: copies are found by content.
    std::string file(const std::string &relative, const std::string &content = {}) const {
        const fs::path path = at(relative);
        std::ofstream(path, std::ios::binary)
            << (content.empty() ? "# " + relative + "\n" : content);
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }
    std::string copy(const fs::path &from, const std::string &relative) const {
        const fs::path path = at(relative);
        fs::copy_file(from, path, fs::copy_options::overwrite_existing);
        return path.string();
    }
    // A copy of a program with its build ID removed, as a candidate would make it, or (given
    // a donor) overwritten with the donor's.
    std::string rebuilt(const fs::path &from, const std::string &relative,
                        const std::string &donor = {}) const {
        const std::string path = copy(from, relative);
        const std::string note = path + ".note";
        const std::string command =
            donor.empty() ? "objcopy --remove-section=.note.gnu.build-id '" + path + "'"
                          : "objcopy --dump-section .note.gnu.build-id='" + note + "' '" + donor +
                                "' /dev/null && objcopy --update-section .note.gnu.build-id='" +
                                note + "' '" + path + "'";
        if (std::system((command + " 2>/dev/null").c_str()) != 0) {
            throw std::runtime_error("objcopy could not change the build ID");
        }
        return path;
    }
    // The variables a desktop launcher sets for the process it starts from an entry.
    [[nodiscard]] std::vector<std::string> launchedFrom(const std::string &id, pid_t pid) const {
        return {"GIO_LAUNCHED_DESKTOP_FILE=" +
                    (data / "system/applications" / (id + ".desktop")).string(),
                "GIO_LAUNCHED_DESKTOP_FILE_PID=" + std::to_string(pid)};
    }
    std::string link(const std::string &target, const std::string &relative) const {
        const fs::path path = at(relative);
        fs::create_symlink(target, path);
        return path.string();
    }
    void systemEntry(const std::string &id, const std::string &keys) const {
        writeDesktopEntry(data / "system", id + ".desktop", "[Desktop Entry]\n" + keys);
    }
    void userEntry(const std::string &id, const std::string &keys) const {
        writeDesktopEntry(data / "home/.local/share", id + ".desktop", "[Desktop Entry]\n" + keys);
    }
    // A top-level window on the display, owned by the process `owner`.
    void window(pid_t owner, std::vector<std::string> applicationIds,
                std::vector<std::string> classes = {}) const {
        sources->display = ":9";
        windows->push_back({owner, {std::move(applicationIds), std::move(classes)}});
    }
    // An application's files as a sandbox installs them, <installation>/app/<ID>/<arch>/
    // <branch>/<commit>/files, with its program in bin/main; the files folder.
    std::string installSandboxed(const std::string &appFolder) const {
        const std::string files = file(appFolder + "/x86_64/stable/c0ffee/files/bin/main");
        return fs::path(files).parent_path().parent_path().string();
    }
    void run(pid_t pid, const std::string &executable, std::vector<std::string> commandLine,
             const std::string &unit = {}) const {
        proc->add({.pid = pid,
                   .startTime = static_cast<unsigned long long>(pid),
                   .cgroup = unit.empty() ? "/" : apps + unit,
                   .executable = executable,
                   .commandLine = std::move(commandLine)});
    }
};

const std::string shell = fs::canonical("/bin/sh").string();
const std::string unknown(unknownProgram);

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

using Arrange = std::function<void(const Fixture &)>;
struct Rule {
    const char *name;
    Arrange arrange;
    Ids expected;
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
    // Code two applications ship names neither; a script changed past its head is no copy.
    rule("no copy", {}, [](auto &f) {
        f.systemEntry("org.example.One", "Exec=" + f.copy("/usr/bin/tac", "bin/one") + "\n");
        f.systemEntry("org.example.Two", "Exec=" + f.copy("/usr/bin/tac", "lib/two/two") + "\n");
        f.run(10, f.copy("/usr/bin/tac", "tmp/notes"), {"notes"});
        const std::string body = "#!/bin/sh\n" + std::string(300 * 1024, '#') + "\n";
        f.systemEntry("org.gnome.Meld", "Exec=" + f.file("bin/meld", body + "a\n") + "\n");
        f.systemEntry("org.example.Shell", "Exec=" + f.file("bin/other", "#!/bin/sh\n") + "\n");
        f.run(11, shell, {"sh", f.file("tmp/diff", body + "b\n")});
    });
    // A TryExec program on the search path, and no shell its Exec runs; a snap unit around a
    // program outside its snap.
    rule("TryExec, and a snap unit", {"org.example.Tool", "org.example.Editor"}, [](auto &f) {
        f.systemEntry("org.example.Tool", "Exec=sh -c \"exec tool-real\"\nTryExec=tool-real\n");
        f.run(10, f.file("bin/tool-real"), {"tool-real"});
        f.run(11, shell, {"sh"});
        f.run(12, f.data / "bin/editor", {"editor"}, "snap.spotify.spotify-0a.scope");
    });
    // Scripts, by their #! lines, directly and through env.
    rule("#! lines", {"org.gnome.Meld", "io.quodlibet"}, [](auto &f) {
        f.systemEntry("org.gnome.Meld", "Exec=meld %F\n");
        f.run(10, shell, {"/bin/sh", f.file("bin/meld", "#!/bin/sh\n"), "a.txt"});
        f.systemEntry("io.quodlibet", "Exec=quodlibet\n");
        f.run(11, shell, {"sh", "-e", f.file("bin/quodlibet", "#!/usr/bin/env sh\n")});
    });
    // A wrapper script's program, and what a wrapper always passes.
    rule("wrappers", {"chromium", "debian-uxterm"}, [](auto &f) {
        const std::string lib = (f.data / "lib").string();
        f.file("bin/chromium", "#!/bin/sh\nAPPNAME=chromium\nLIBDIR=" + lib +
                                   "/$APPNAME\nexec $LIBDIR/$APPNAME $FLAGS \"$@\"\n");
        f.systemEntry("chromium", "Exec=chromium %U\n");
        f.run(10, f.file("lib/chromium/chromium"), {"chromium", "--type=renderer"});
        f.file("bin/uxterm",
               "#!/bin/sh\n: \"${XTERM_PROGRAM=xterm}\"\n"
               "exec \"$XTERM_PROGRAM\" -class UXTerm -title \"$whoami\" -u8 \"$@\"\n");
        f.systemEntry("debian-xterm", "Exec=xterm\n");
        f.systemEntry("debian-uxterm", "Exec=uxterm\n");
        f.run(11, f.file("bin/xterm"), {"xterm", "-class", "UXTerm", "-title", "u", "-u8"});
    });
    // A launcher's variable inherited by another program, a libexec folder (no application's
    // own), a terminal program's own entry.
    rule("names nothing", {}, [](auto &f) {
        f.systemEntry("org.example.Launched", "Exec=sh -c \"cd /opt && ./run\"\n");
        f.proc->add({.pid = 11,
                     .executable = f.file("opt/other"),
                     .environment = f.launchedFrom("org.example.Launched", 10)});
        f.systemEntry("org.gnome.OnlineAccounts.OAuth2",
                      "Exec=" + f.file("libexec/goa-oauth2-handler") + " %u\n");
        f.run(12, f.file("libexec/gnome-terminal-server"), {"gnome-terminal-server"});
        f.systemEntry("vim", "Terminal=true\nExec=vim %F\n");
        f.run(13, f.file("bin/vim"), {"vim"});
    });
    // An AppImage's own entry, a user entry for a program of the user's own, a D-Bus
    // activated server.
    rule("own entries", {"org.example.Image", "my-tool", "org.gnome.Terminal"}, [](auto &f) {
        f.file("tmp/.mount_ToolAb12/org.example.Image.desktop", "[Desktop Entry]\n");
        f.run(10, f.file("tmp/.mount_ToolAb12/usr/bin/tool"), {"tool"});
        f.userEntry("my-tool", "Exec=" + f.file("home/bin/mine") + "\n");
        f.run(11, f.data / "home/bin/mine", {"mine"});
        const std::string server = f.file("libexec/gnome-terminal-server");
        f.file("system/dbus-1/services/org.gnome.Terminal.service",
               "[D-BUS Service]\nName=org.gnome.Terminal\nExec=" + server + "\n");
        f.systemEntry("org.gnome.Terminal", "Exec=gnome-terminal\n");
        f.run(12, server, {server});
    });
    // A copy under another name, a copy run through the loader, a copied script.
    rule("copies", {"org.telegram.desktop", "org.example.Reverser", "org.gnome.Meld"}, [](auto &f) {
        f.systemEntry("org.telegram.desktop",
                      "Exec=" + f.copy("/bin/sleep", "bin/telegram") + "\n");
        f.run(10, f.copy("/bin/sleep", "tmp/notes"), {"notes"});
        f.systemEntry("org.example.Reverser",
                      "Exec=" + f.copy("/usr/bin/tac", "bin/reverser") + "\n");
        const std::string copy = f.copy("/usr/bin/tac", "tmp/reversed");
        const std::string loader = fs::canonical("/lib64/ld-linux-x86-64.so.2");
        f.proc->add({.pid = 11,
                     .startTime = 11,
                     .executable = loader,
                     .commandLine = {loader, copy},
                     .mapped = {copy}});
        f.systemEntry("org.gnome.Meld", "Exec=meld\n");
        const std::string script = "#!/bin/sh\n# meld\n";
        f.file("bin/meld", script);
        f.run(12, shell, {"sh", f.file("tmp/diff", script)});
    });
    // The dynamic loader's program, not the name it passes; a loader's command line that
    // names a program the loader never mapped.
    rule("through the loader", {"org.telegram.desktop", unknown}, [](auto &f) {
        f.systemEntry("org.telegram.desktop", "Exec=telegram-desktop -- %u\n");
        f.systemEntry("org.example.Allowed", "Exec=allowed\n");
        const std::string program = f.file("bin/telegram-desktop");
        const std::string loader = fs::canonical("/lib64/ld-linux-x86-64.so.2");
        const std::string allowed = f.file("bin/allowed");
        f.proc->add({.pid = 10,
                     .executable = loader,
                     .commandLine = {loader, "--argv0", allowed, program},
                     .mapped = {program}});
        f.proc->add({.pid = 11,
                     .executable = loader,
                     .commandLine = {loader, allowed},
                     .mapped = {f.file("tmp/mine")}});
    });
    // A build ID picks the program to compare, the code decides; a copy without its build ID
    // is known beside a forged launcher variable.
    rule("build IDs", {"org.example.Reverser", "org.example.Reverser"}, [](auto &f) {
        f.systemEntry("org.example.Reverser",
                      "Exec=" + f.copy("/usr/bin/tac", "bin/reverser") + "\n");
        f.systemEntry("org.example.Sleeper", "Exec=" + f.copy("/bin/sleep", "bin/sleeper") + "\n");
        f.run(10, f.rebuilt("/usr/bin/tac", "tmp/notes", "/bin/sleep"), {"notes"});
        f.systemEntry("org.example.Allowed", "Exec=allowed\n");
        const std::string stripped = f.rebuilt("/usr/bin/tac", "tmp/stripped");
        std::ofstream(stripped, std::ios::app) << "data after the code";
        f.proc->add({.pid = 11,
                     .startTime = 11,
                     .executable = stripped,
                     .environment = f.launchedFrom("org.example.Allowed", 11)});
    });
    // A helper that left its application is no instance of its own; a file the entry gives a
    // virtual machine names the entry.
    rule("helpers, VMs", {"firefox-esr", "firefox-esr", "org.example.Office", "org.other.Tool"},
         [](auto &f) {
             f.systemEntry("firefox-esr", "Exec=" + f.file("lib/firefox/firefox") + " %u\n");
             f.systemEntry("org.example.Office", "Exec=" + f.file("lib/office/soffice") + "\n");
             f.run(10, f.data / "lib/firefox/firefox", {"firefox"});
             f.run(11, f.file("lib/firefox/crashhelper"), {"crashhelper", "10"});
             f.run(12, f.data / "lib/firefox/firefox", {"firefox", "-P", "other"});
             f.run(13, f.file("lib/office/soffice.bin"), {"soffice.bin"});
             f.systemEntry("org.example.Tool", "Exec=java -jar " + f.file("tool.jar", "PK") + "\n");
             const std::string jar = f.file("share/other/other.jar", "PK2");
             f.systemEntry("org.other.Tool", "Exec=java -jar " + jar + "\n");
             f.run(20, f.file("bin/java"), {"java", "-Xmx1g", "-jar", jar});
         });
    // A copy, a window, then a unit; a program inside another application's unit; an editor
    // is not the script it opens.
    rule(
        "copies, windows, units",
        {"org.example.Reverser", "org.example.Win", "org.gnome.Calculator", "org.telegram.desktop"},
        [](auto &f) {
            f.systemEntry("org.example.Reverser",
                          "Exec=" + f.copy("/usr/bin/tac", "bin/reverser") + "\n");
            f.run(10, f.copy("/usr/bin/tac", "tmp/notes"), {"notes"},
                  "app-org.example.Unit-1.scope");
            f.run(11, f.file("bin/unnamed"), {"unnamed"}, "app-org.example.Unit-2.scope");
            f.window(11, {"org.example.Win"});
            const std::string unit = "app-gnome-org.gnome.Calculator-1.scope";
            f.systemEntry("org.telegram.desktop", "Exec=telegram\n");
            f.run(12, f.file("bin/calculator"), {"calculator"}, unit);
            f.run(13, f.file("bin/telegram"), {"telegram"}, unit);
            f.run(14, shell, {"sh"}, unit);
            f.systemEntry("org.gnome.Meld", "Exec=meld\n");
            f.run(15, f.file("bin/vim"), {"vim", f.file("bin/meld", "#!/bin/sh\n")});
        });
    // A hidden executable, by the command line only when set-ID; a script run by an
    // interpreter its #! line does not name.
    rule("set-ID, #! mismatch", {unknown, "org.example.Mount"}, [](auto &f) {
        f.systemEntry("org.keepassxc.KeePassXC", "Exec=keepassxc %f\n");
        f.systemEntry("org.example.Mount", "Exec=mounter\n");
        f.file("bin/keepassxc");
        fs::permissions(f.file("bin/mounter"), fs::perms::set_uid, fs::perm_options::add);
        f.run(10, "", {"keepassxc"});
        f.run(11, "", {"mounter"});
        f.systemEntry("org.gnome.Meld", "Exec=meld %F\n");
        f.systemEntry("org.example.Shell", "Exec=" + f.file("bin/other", "#!/bin/sh\n") + "\n");
        f.run(12, shell, {"sh", f.file("bin/meld", "#!/usr/bin/python3\n")});
    });
    // A script its D-Bus service runs, through the interpreter's link; an interpreter
    // option's value is no script.
    rule("a service's script", {"org.gnome.Weather"}, [](auto &f) {
        const std::string gjs = f.link(f.file("bin/gjs-console"), "bin/gjs");
        const std::string weather = f.file("share/weather/org.gnome.Weather", "#!" + gjs + " -m\n");
        f.file("system/dbus-1/services/org.gnome.Weather.service",
               "[D-BUS Service]\nName=org.gnome.Weather\nExec=" + weather +
                   " --gapplication-service\n");
        f.systemEntry("org.gnome.Weather", "DBusActivatable=true\nExec=" + f.file("bin/launch") +
                                               " org.gnome.Weather\n");
        f.run(10, f.data / "bin/gjs-console", {gjs, "-m", weather, "--gapplication-service"});
        const std::string python = f.link(f.file("bin/python3.11"), "bin/python3");
        f.systemEntry("org.gnome.Meld", "Exec=meld %F\n");
        const std::string meld = f.file("bin/meld", "#!" + python + "\n");
        f.run(11, f.data / "bin/python3.11", {"python3", "-W", meld, f.file("tmp/mine.py")});
        f.run(12, f.data / "bin/python3.11", {"python3", "-X", meld, "-m", "meld"});
    });
    // A program beside the entry's, by its arguments; the entry whose arguments it carries;
    // a script's interpreter, through links.
    rule("by arguments",
         {"libreoffice-calc", "org.xfce.mousepad-settings", "org.xfce.mousepad", "org.gnome.Meld"},
         [](auto &f) {
             const std::string soffice = f.file("lib/office/soffice", "#!/bin/sh\n");
             f.systemEntry("libreoffice-writer", "Exec=" + soffice + " --writer %U\n");
             f.systemEntry("libreoffice-calc", "Exec=" + soffice + " --calc %U\n");
             f.run(10, f.file("lib/office/soffice.bin"), {"soffice.bin", "--calc", "a.ods"});
             f.systemEntry("org.xfce.mousepad", "Exec=mousepad %U\n");
             f.systemEntry("org.xfce.mousepad-settings", "Exec=mousepad --preferences\n");
             f.run(11, f.file("bin/mousepad"), {"mousepad", "--preferences"});
             f.run(12, f.file("bin/mousepad"), {"mousepad", "notes.txt"});
             f.link(f.file("bin/python3.11"), "bin/python3");
             f.systemEntry("org.gnome.Meld", "Exec=meld %F\n");
             const std::string meld = f.file("bin/meld", "#!/usr/bin/env python3\n");
             f.run(13, f.data / "bin/python3.11", {"python3", meld});
         });
    return rules;
}
const std::vector<Rule> rules = everyRule();

} // namespace

class ApplicationScannerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_procDir;
    std::unique_ptr<FakeProcTree> m_proc;
    fs::path m_data;
    std::string m_editor;
    std::string m_viewer;

    [[nodiscard]] std::string program(const std::string &name) const {
        return Fixture{m_data}.file("bin/" + name, "#!/bin/sh\n# " + name + "\n");
    }
    [[nodiscard]] ScannerSources sources() const {
        return {.procRoot = m_proc->root(),
                .dataDirs = {m_data / "home/.local/share", m_data / "system"},
                .home = m_data / "home",
                .searchPath = {m_data / "bin", "/usr/bin", "/bin"},
                .systemOwner = ::getuid(),
                .flatpakInstallations = {m_data},
                .user = ::getuid()};
    }
    [[nodiscard]] Ids scan() const { return ApplicationScanner(sources()).scan(); }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        // A memory file system lists a folder's entries in the order they were made, as /proc
        // lists processes, where a disk's may list them in any order.
        m_procDir = std::make_unique<QTemporaryDir>("/dev/shm/qolvi-proc-XXXXXX");
        if (!m_procDir->isValid()) {
            m_procDir = std::make_unique<QTemporaryDir>();
        }
        m_proc = std::make_unique<FakeProcTree>(fs::path(m_procDir->path().toStdString()));
        m_data = fs::path(m_dir->path().toStdString()) / "data";
        m_editor = program("editor");
        m_viewer = program("viewer");
        const Fixture fixture{m_data};
        fixture.systemEntry("org.example.Editor",
                            "Type=Application\nName=Editor\nExec=editor %F\n");
        fixture.systemEntry("vendor/viewer", "Exec=env A=1 " + m_viewer + "\n");
    }

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
