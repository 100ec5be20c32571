// What compositors answer the window sources, read without a compositor: what a sway get_tree
// answer names, which answers over sway's socket count, how sway's PIDs are paired with the
// protocol's windows, and what a KWin script's call back names.

#include "platform/linux/wayland/compositor/compositorwindows.h"
#include "platform/linux/wayland/compositor/swayipc.h"
#include "platform/linux/wayland/kwin/kwinscriptwindows.h"

#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent::linux_backend::wayland;
using Toplevels = std::vector<Toplevel>;
using AppIds = std::vector<std::string>;
Q_DECLARE_METATYPE(std::optional<Toplevels>)
Q_DECLARE_METATYPE(Toplevels)
Q_DECLARE_METATYPE(AppIds)

namespace {

// Answers one connection on a Unix socket with the bytes given, as sway would answer get_tree.
class OneAnswerServer {
public:
    OneAnswerServer(const std::string &path, std::string answer) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        QVERIFY(::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0);
        QVERIFY(::listen(m_fd, 1) == 0);
        m_thread = std::thread([this, answer = std::move(answer)] {
            const int client = ::accept(m_fd, nullptr, nullptr);
            std::array<char, 14> request{};
            if (client >= 0 && ::recv(client, request.data(), request.size(), MSG_WAITALL) == 14) {
                (void)::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
            }
            if (client >= 0) {
                ::close(client);
            }
        });
    }
    ~OneAnswerServer() {
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
    }

private:
    int m_fd = -1;
    std::thread m_thread;
};

const std::string oneView =
    R"({"type":"root","nodes":[{"type":"workspace","nodes":[{"type":"con","shell":"xdg_shell","pid":42,"app_id":"foot"}]}]})";

// The one view framed as an IPC message: magic, length, type, payload.
QByteArray framed(std::string_view magic, std::uint32_t length, std::uint32_t type = 4) {
    QByteArray bytes(magic.data(), qsizetype(magic.size()));
    bytes.append(reinterpret_cast<const char *>(&length), sizeof length);
    bytes.append(reinterpret_cast<const char *>(&type), sizeof type);
    return bytes + QByteArray::fromStdString(oneView);
}

const std::optional<Toplevels> none;

} // namespace

class TestCompositorAnswers : public QObject {
    Q_OBJECT

private slots:
    void viewsOfATree_data() {
        QTest::addColumn<QString>("json");
        QTest::addColumn<std::optional<Toplevels>>("views");
        QTest::newRow("tiled, nested, then floating, in tree order")
            << R"({"nodes":[{"type":"output","nodes":[{"type":"workspace","nodes":[
                   {"type":"con","layout":"splith","nodes":[
                     {"type":"con","shell":"xdg_shell","pid":10,"app_id":"foot"},
                     {"type":"con","shell":"xdg_shell","pid":11,"app_id":"org.example.Editor"}]}],
                   "floating_nodes":[{"type":"floating_con","shell":"xdg_shell","pid":12,"app_id":"foot"}]}]}]})"
            << std::optional(Toplevels{{"foot", 10}, {"org.example.Editor", 11}, {"foot", 12}});
        QTest::newRow("an X11 view is named by its class")
            << R"({"nodes":[{"shell":"xwayland","pid":20,"app_id":null,"window_properties":{"class":"Mousepad"}}]})"
            << std::optional(Toplevels{{"Mousepad", 20}});
        QTest::newRow("a view without an ID keeps its PID")
            << R"({"nodes":[{"shell":"xdg_shell","pid":21,"app_id":null}]})"
            << std::optional(Toplevels{{"", 21}});
        QTest::newRow("containers and views without a PID are no windows")
            << R"({"pid":1,"nodes":[{"shell":"xdg_shell","app_id":"a"},{"shell":"xdg_shell","pid":0,"app_id":"b"},
                   {"shell":"xdg_shell","pid":"30","app_id":"c"},{"shell":"xdg_shell","pid":-5,"app_id":"d"}]})"
            << std::optional(Toplevels{});
        QTest::newRow("children that are not lists are skipped")
            << R"({"nodes":{"shell":"xdg_shell","pid":5},"floating_nodes":[7,"x",null]})"
            << std::optional(Toplevels{});
        QTest::newRow("not JSON") << R"({"nodes":[)" << none;
        QTest::newRow("not an object") << R"([{"shell":"xdg_shell","pid":5}])" << none;
    }
    void viewsOfATree() {
        QFETCH(QString, json);
        QFETCH(std::optional<Toplevels>, views);
        QCOMPARE(SwayIpc::parseTree(json.toStdString()), views);
    }

    void answersOverTheSocket_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("fromTheCompositor");
        QTest::addColumn<std::optional<Toplevels>>("views");
        const auto size = static_cast<std::uint32_t>(oneView.size());
        QTest::newRow("a get_tree answer")
            << framed("i3-ipc", size) << true << std::optional(Toplevels{{"foot", 42}});
        QTest::newRow("the same answer from another process than the compositor")
            << framed("i3-ipc", size) << false << none;
        QTest::newRow("another magic") << framed("i3-IPC", size) << true << none;
        QTest::newRow("an answer of another type") << framed("i3-ipc", size, 1) << true << none;
        QTest::newRow("a length beyond any tree") << framed("i3-ipc", 1U << 30U) << true << none;
        QTest::newRow("cut short") << framed("i3-ipc", size + 10) << true << none;
        QTest::newRow("no answer") << QByteArray() << true << none;
    }
    void answersOverTheSocket() {
        QFETCH(QByteArray, answer);
        QFETCH(bool, fromTheCompositor);
        QFETCH(std::optional<Toplevels>, views);
        const QTemporaryDir folder;
        const std::string path = folder.filePath("sway-ipc.sock").toStdString();
        const OneAnswerServer server(path, answer.toStdString());
        // The server runs in this process, so this process is the socket's other end.
        const pid_t compositor = fromTheCompositor ? ::getpid() : ::getppid();
        QCOMPARE(SwayIpc::windows(path, compositor, std::chrono::seconds(5)), views);
    }

    // The socket sway announces, else sway's default in the runtime folder, else none.
    void socketPath() {
        const auto path = [](const char *swaySock, const char *runtimeDir) {
            return QString::fromStdString(SwayIpc::socketPath(swaySock, runtimeDir, 1000, 777));
        };
        QCOMPARE(path("/tmp/s.sock", "/run/user/1000"), "/tmp/s.sock");
        QCOMPARE(path("", "/run/user/1000"), "/run/user/1000/sway-ipc.1000.777.sock");
        QCOMPARE(path("", ""), "");
    }

    void kwinReport_data() {
        QTest::addColumn<QString>("json");
        QTest::addColumn<std::optional<Toplevels>>("windows");
        QTest::newRow("windows with their PIDs")
            << R"([["foot",10],["org.example.Editor",11]])"
            << std::optional(Toplevels{{"foot", 10, ""}, {"org.example.Editor", 11, ""}});
        QTest::newRow("a window without a PID")
            << R"([["foot",0]])" << std::optional(Toplevels{{"foot", std::nullopt, ""}});
        QTest::newRow("no windows") << "[]" << std::optional(Toplevels{});
        QTest::newRow("a PID that is not a number") << R"([["foot","10"]])" << none;
        QTest::newRow("a window of three parts") << R"([["foot",10,"x"]])" << none;
        QTest::newRow("not a list") << R"({"foot":10})" << none;
        QTest::newRow("not JSON") << "[[" << none;
    }
    void kwinReport() {
        QFETCH(QString, json);
        QFETCH(std::optional<Toplevels>, windows);
        QCOMPARE(KWinScriptWindows::parseReport(json.toStdString()), windows);
    }

    void pairing_data() {
        QTest::addColumn<AppIds>("appIds");
        QTest::addColumn<Toplevels>("listed");
        QTest::addColumn<Toplevels>("paired");
        const Toplevel foot1{"foot", 1}, foot3{"foot", 3}, editor{"org.example.Editor", 2};
        const Toplevel unpaired{"foot", std::nullopt};
        QTest::newRow("each window its own process")
            << AppIds{"foot", "org.example.Editor"} << Toplevels{editor, foot1}
            << Toplevels{foot1, editor};
        QTest::newRow("two windows of one ID, two processes")
            << AppIds{"foot", "foot"} << Toplevels{foot1, foot3} << Toplevels{foot1, foot3};
        QTest::newRow("a window the tree does not list yet")
            << AppIds{"foot", "foot"} << Toplevels{foot1} << Toplevels{foot1, unpaired};
        QTest::newRow("no PIDs at all") << AppIds{"foot"} << Toplevels{} << Toplevels{unpaired};
        QTest::newRow("a process listed under another ID names no window")
            << AppIds{"foot"} << Toplevels{{"Foot", 1}} << Toplevels{unpaired};
    }
    void pairing() {
        QFETCH(AppIds, appIds);
        QFETCH(Toplevels, listed);
        QFETCH(Toplevels, paired);
        QCOMPARE(pairWithProcesses(appIds, listed), paired);
    }
};

QTEST_GUILESS_MAIN(TestCompositorAnswers)
#include "tst_compositoranswers.moc"
