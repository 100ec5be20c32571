#include "platform/linux/desktopentryindex.h"
#include "platform/linux/unitname.h"

#include <QTest>

using namespace Qolvi_Desktop_Agent::linux_backend;

class UnitNameTest : public QObject {
    Q_OBJECT

private slots:
    void applicationIds_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("id"); // "-" for none

        QTest::newRow("scope with launcher, escaped dashes")
            << R"(app-gnome-org.gnome.Evolution\x2dalarm\x2dnotify-2437.scope)"
            << "org.gnome.Evolution-alarm-notify";
        QTest::newRow("scope without launcher") << "app-org.mozilla.firefox-1234.scope"
                                                << "org.mozilla.firefox";
        QTest::newRow("flatpak scope") << "app-flatpak-org.gimp.GIMP-98765.scope"
                                       << "org.gimp.GIMP";
        QTest::newRow("service") << "app-org.example.Daemon.service"
                                 << "org.example.Daemon";
        QTest::newRow("service with launcher and random")
            << "app-gnome-org.example.Tool@8c2f.service"
            << "org.example.Tool";
        QTest::newRow("autostart service") << "app-gnome-org.example.Tray-autostart.service"
                                           << "org.example.Tray";
        QTest::newRow("autostart service with random")
            << "app-kde-org.kde.kalendarac-autostart@a1.service"
            << "org.kde.kalendarac";
        QTest::newRow("the ID autostart") << "app-autostart.service"
                                          << "autostart";
        QTest::newRow("the ID autostart with a launcher") << "app-gnome-autostart.service"
                                                          << "autostart";
        QTest::newRow("snap") << "snap.firefox.firefox-4c6b8a0f-1d2e-4f3a-9b8c-7d6e5f4a3b2c.scope"
                              << "snap.firefox";
        QTest::newRow("snap name with dash")
            << "snap.my-app.run-0a1b2c3d-aaaa-bbbb-cccc-ddddeeeeffff.scope"
            << "snap.my-app";
        QTest::newRow("escaped non-ASCII") << R"(app-org.example.Caf\xc3\xa9-77.scope)"
                                           << "org.example.Café";
        QTest::newRow("session scope") << "session-2.scope"
                                       << "-";
        QTest::newRow("terminal spawn scope") << "vte-spawn-1d2b3c.scope"
                                              << "-";
        QTest::newRow("slice") << "app-org.gnome.Terminal.slice"
                               << "-";
        QTest::newRow("user manager") << "user@1000.service"
                                      << "-";
        QTest::newRow("scope without random") << "app-org.example.A.scope"
                                              << "-";
        QTest::newRow("too many fields") << "app-a-b-c-d.scope"
                                         << "-";
        QTest::newRow("empty id") << "app--12.scope"
                                  << "-";
        QTest::newRow("snap without app") << "snap.firefox-1234.scope"
                                          << "-";
        QTest::newRow("bare root") << ""
                                   << "-";
    }

    void applicationIds() {
        QFETCH(QString, unit);
        QFETCH(QString, id);
        const auto found = applicationIdFromUnit(unit.toStdString());
        QCOMPARE(found ? QString::fromStdString(*found) : QStringLiteral("-"), id);
    }

    void unescapingLeavesBrokenEscapesAlone() {
        QCOMPARE(unescapeUnitText(R"(a\x2db\x2)"), std::string(R"(a-b\x2)"));
        QCOMPARE(unescapeUnitText(R"(\xzz\x41)"), std::string(R"(\xzzA)"));
    }

    void execPrograms_data() {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("program");
        QTest::newRow("plain") << "gedit %U"
                               << "gedit";
        QTest::newRow("absolute") << "/opt/app/bin/app --new-window %u"
                                  << "/opt/app/bin/app";
        QTest::newRow("quoted with blank") << R"("/opt/My App/run" %F)"
                                           << "/opt/My App/run";
        QTest::newRow("env prefix") << "env GDK_BACKEND=x11 LANG=C /usr/bin/tool"
                                    << "/usr/bin/tool";
        QTest::newRow("empty") << ""
                               << "";
    }

    void execPrograms() {
        QFETCH(QString, exec);
        QFETCH(QString, program);
        QCOMPARE(QString::fromStdString(execProgram(exec.toStdString())), program);
    }
};

QTEST_APPLESS_MAIN(UnitNameTest)
#include "tst_unitname.moc"
