// The identification table's rows on what a program is, by its file, script, copies and loader.
#include "scannertestcase.h"

void addProgramRules(const std::function<void(const char *, Ids, Arrange)> &rule) {
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
}
