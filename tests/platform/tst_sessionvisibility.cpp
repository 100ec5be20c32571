// How the agent tells that it cannot see the user's session: the rules over given surroundings
// (which sockets it asks, in which order, and what it concludes), and the kernel's answer about
// real sockets of the test's own.

#include "platform/linux/selfcheck/sessionvisibility_linux.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstddef>
#include <cstring>
#include <map>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent::session_visibility;

Q_DECLARE_METATYPE(WindowSystem)

namespace {

constexpr pid_t ownPid = 4242;

std::optional<std::string> variable(const QString &value) {
    return value.isNull() ? std::nullopt : std::optional(value.toStdString());
}

QString written(const SocketAddress &address) {
    return (address.abstract ? "@" : QString()) + QString::fromStdString(address.name);
}

// A socket of the test's own, listening; -1 when it cannot be.
int listening(const std::string &name, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + (abstract ? 1 : 0), name.data(), name.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + name.size() + 1);
    return bind(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0 && listen(fd, 4) == 0
               ? fd
               : -1;
}

} // namespace

class SessionVisibilityTest : public QObject {
    Q_OBJECT

private slots:
    // Each row: the window system, DISPLAY, WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS and
    // XDG_RUNTIME_DIR (a null text is unset), what /proc/self names (empty: nothing), the PID
    // each listening socket's owner has here ("@" marks an abstract name, 0 is outside), then
    // whether the session is seen and the sockets asked, in order.
    void rules_data() {
        QTest::addColumn<WindowSystem>("windowSystem");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("waylandDisplay");
        QTest::addColumn<QString>("bus");
        QTest::addColumn<QString>("runtimeDir");
        QTest::addColumn<QString>("procSelf");
        QTest::addColumn<QStringList>("listeners");
        QTest::addColumn<bool>("sees");
        QTest::addColumn<QStringList>("asked");
        const QString none;
        const QString run = "/run/user/1000";
        const QString userBus = "unix:path=/run/user/1000/bus";
        const QString x0 = "@/tmp/.X11-unix/X0";
        const QString x0File = "/tmp/.X11-unix/X0";
        const QString busFile = "/run/user/1000/bus";
        const auto x11 = WindowSystem::x11;
        const auto wayland = WindowSystem::wayland;
        const auto other = WindowSystem::other;

        QTest::newRow("X11 session, all in sight")
            << x11 << ":0" << none << userBus << run << "4242"
            << QStringList{x0 + "=700", busFile + "=650"} << true << QStringList{x0, busFile};
        QTest::newRow("X server outside")
            << x11 << ":0.0" << none << userBus << run << "4242"
            << QStringList{x0 + "=0", busFile + "=650"} << false << QStringList{x0};
        QTest::newRow("bus daemon outside")
            << x11 << ":0" << none << userBus << run << "4242"
            << QStringList{x0 + "=700", busFile + "=0"} << false << QStringList{x0, busFile};
        QTest::newRow("/proc of another namespace")
            << x11 << ":0" << none << userBus << run << "17"
            << QStringList{x0 + "=700", busFile + "=650"} << false << QStringList{};
        QTest::newRow("no /proc") << x11 << ":0" << none << userBus << run << ""
                                  << QStringList{x0 + "=700"} << false << QStringList{};
        QTest::newRow("display by its file, no abstract name")
            << x11 << "unix:0" << none << none << none << "4242" << QStringList{x0File + "=0"}
            << false << QStringList{x0, x0File};
        QTest::newRow("display with a protocol")
            << x11 << "unix/:12" << none << none << none << "4242" << QStringList{} << true
            << QStringList{"@/tmp/.X11-unix/X12", "/tmp/.X11-unix/X12"};
        QTest::newRow("display over TCP says nothing")
            << x11 << "localhost:10.0" << none << userBus << run << "4242"
            << QStringList{x0 + "=0", busFile + "=650"} << true << QStringList{busFile};
        QTest::newRow("no bus: the runtime folder's, when it answers")
            << x11 << ":0" << none << none << run << "4242" << QStringList{x0 + "=700"} << true
            << QStringList{x0, busFile};
        QTest::newRow("bus by an escaped abstract name")
            << other << ":0" << none << "unix:abstract=/tmp/dbus-a%2dB%2c,guid=0f" << none << "4242"
            << QStringList{"@/tmp/dbus-a-B,=0"} << false << QStringList{"@/tmp/dbus-a-B,"};
        QTest::newRow("bus: the first socket that answers speaks")
            << other << none << none
            << "tcp:host=localhost,port=1;unix:path=/gone;unix:path=/a%20bus;unix:path=/next"
            << none << "4242" << QStringList{"/a bus=0", "/next=650"} << false
            << QStringList{"/gone", "/a bus"};
        QTest::newRow("bus: a malformed value is no socket")
            << other << none << none << "unix:path=/bad%2;unix:path=/ok" << none << "4242"
            << QStringList{"/ok=650"} << true << QStringList{"/ok"};
        QTest::newRow("Wayland: the compositor, not Xwayland")
            << wayland << ":0"
            << "wayland-1" << userBus << run << "4242"
            << QStringList{x0 + "=0", run + "/wayland-1=800", busFile + "=650"} << true
            << QStringList{run + "/wayland-1", busFile};
        QTest::newRow("Wayland compositor outside")
            << wayland << none << none << userBus << run << "4242"
            << QStringList{run + "/wayland-0=0"} << false << QStringList{run + "/wayland-0"};
        QTest::newRow("Wayland display by its path")
            << wayland << none << "/tmp/w" << none << none << "4242" << QStringList{"/tmp/w=1"}
            << true << QStringList{"/tmp/w"};
        QTest::newRow("no window system: the bus alone")
            << other << ":0"
            << "wayland-0" << userBus << run << "4242" << QStringList{x0 + "=0", busFile + "=650"}
            << true << QStringList{busFile};
    }

    void rules() {
        QFETCH(WindowSystem, windowSystem);
        QFETCH(QString, display);
        QFETCH(QString, waylandDisplay);
        QFETCH(QString, bus);
        QFETCH(QString, runtimeDir);
        QFETCH(QString, procSelf);
        QFETCH(QStringList, listeners);
        QFETCH(bool, sees);
        QFETCH(QStringList, asked);
        QTemporaryDir proc;
        QVERIFY(proc.isValid());
        if (!procSelf.isEmpty()) {
            QVERIFY(QFile::link(procSelf, proc.filePath("self")));
        }
        std::map<QString, pid_t> pids;
        for (const QString &listener : listeners) {
            pids[listener.section('=', 0, -2)] = pid_t(listener.section('=', -1).toInt());
        }
        QStringList actuallyAsked;
        SessionSurroundings surroundings{
            .procRoot = proc.path().toStdString(),
            .ownPid = ownPid,
            .windowSystem = windowSystem,
            .display = variable(display),
            .waylandDisplay = variable(waylandDisplay),
            .sessionBus = variable(bus),
            .runtimeDir = variable(runtimeDir),
            .listenerPid = [&](const SocketAddress &address) -> std::optional<pid_t> {
                actuallyAsked << written(address);
                const auto found = pids.find(written(address));
                return found == pids.end() ? std::nullopt : std::optional(found->second);
            }};
        QCOMPARE(seesUserSession(surroundings), sees);
        QCOMPARE(actuallyAsked, asked);
    }

    // The kernel names the test itself as the listener of its own sockets, file or abstract;
    // a file no one listens on, or none at all, answers nothing.
    void listenerOfRealSockets() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const std::string file = folder.filePath("listening").toStdString();
        const std::string abstract = "/qolvi-test/" + std::to_string(getpid());
        const int onFile = listening(file, false);
        const int onName = listening(abstract, true);
        QVERIFY(onFile >= 0 && onName >= 0);
        QCOMPARE(listenerPid({file, false}), std::optional(getpid()));
        QCOMPARE(listenerPid({abstract, true}), std::optional(getpid()));
        QCOMPARE(listenerPid({abstract, false}), std::nullopt);
        QCOMPARE(listenerPid({folder.filePath("absent").toStdString(), false}), std::nullopt);
        close(onFile);
        close(onName);
    }
};

QTEST_GUILESS_MAIN(SessionVisibilityTest)
#include "tst_sessionvisibility.moc"
