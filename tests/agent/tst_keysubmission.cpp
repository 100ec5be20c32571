#include "agent/contentview.h"
#include "staterecorder.h"
#include "testagent.h"
#include "testserver.h"

#include <QDesktopServices>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

namespace {

const std::string acceptedWithMessage =
    R"({"validationErrors":[],"hasError":false,"message":"Welcome"})";
const std::string refusedWithMessage =
    R"({"validationErrors":[{"key":"accessKey","value":"Unknown"}],"hasError":true,"message":"Wrong key"})";

// Receives the URLs the agent asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

} // namespace

class KeySubmissionTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<AgentProbe> m_probe;
    std::unique_ptr<TestServer> m_server;
    std::unique_ptr<ContentView> m_view;

    void makeAgent(const QString &baseUrl, SessionLimits limits = {5s, 5s, qint64{1} << 20}) {
        m_view = std::make_unique<ContentView>(testConfig(baseUrl, m_probe, 40ms, limits));
    }

    // Submits the key and waits until the submission has ended.
    void submit(const QString &key) {
        m_view->setExamKey(key);
        m_view->submitExamKey();
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->isLoading(), 15000);
    }

private slots:
    void init() {
        m_probe = std::make_shared<AgentProbe>();
        m_probe->runningApplications = {"org.example.Editor", "org.example.Editor", "snap.spotify"};
        m_server = std::make_unique<TestServer>();
        makeAgent(m_server->baseUrl());
        AlertManager::shared().hideAlert();
    }

    void cleanup() {
        m_view.reset();
        m_server.reset();
    }

    void emptyKeyIsRefusedLocally() {
        StateRecorder recorder(*m_view);
        submit(QString());
        QCOMPARE(recorder.changes,
                 (QStringList{"isLoading=1", "alert=Please enter the exam key.", "isLoading=0"}));
        QCOMPARE(AlertManager::shared().type(), AlertType::danger);
        QVERIFY(m_probe->lines.isEmpty());
        QCOMPARE(m_server->requestCount(), 0);
        QVERIFY(!m_view->isConnected());
    }

    void sendsTheKeyAsTypedWithTheRunningApplications() {
        m_server->answer(200, acceptedWithMessage);
        submit(QStringLiteral("   "));
        const std::vector<RecordedRequest> requests = m_server->requests();
        QCOMPARE(requests.size(), 1u);
        QCOMPARE(requests[0].method, std::string("POST"));
        QCOMPARE(requests[0].path, std::string("/tr/exam/InitDesktop"));
        QCOMPARE(
            requests[0].body,
            std::string(
                R"({"accessKey":"   ","processNames":["org.example.Editor","org.example.Editor","snap.spotify"]})"));
        QCOMPARE(requests[0].headers.count("Content-Type"), 1u);
        QCOMPARE(requests[0].headers.find("Content-Type")->second, std::string("application/json"));
        QCOMPARE(requests[0].headers.find("Content-Length")->second,
                 std::to_string(requests[0].body.size()));
    }

    void accepted() {
        m_server->answer(200, acceptedWithMessage);
        StateRecorder recorder(*m_view);
        submit(QStringLiteral("K-1"));
        QCOMPARE(m_probe->lines, QStringList{"Status Code: 200 for initAgent"});
        QCOMPARE(recorder.changes, (QStringList{"isLoading=1", "isConnected=1", "Message",
                                                "ValidationErrors", "isLoading=0"}));
        QVERIFY(m_view->isConnected());
        QCOMPARE(m_view->Message(), std::optional(QStringLiteral("Welcome")));
        QVERIFY(!AlertManager::shared().isVisible());
    }

    void refusedWithTheServiceMessage() {
        m_server->answer(200, refusedWithMessage);
        StateRecorder recorder(*m_view);
        submit(QStringLiteral("K-1"));
        QCOMPARE(m_probe->lines, QStringList{"Status Code: 200 for initAgent"});
        QCOMPARE(recorder.changes, (QStringList{"isLoading=1", "alert=Wrong key", "Message",
                                                "ValidationErrors", "isLoading=0"}));
        QVERIFY(!m_view->isConnected());
        QCOMPARE(AlertManager::shared().type(), AlertType::danger);
        QCOMPARE(m_view->Message(), std::optional(QStringLiteral("Wrong key")));
        QCOMPARE(m_view->ValidationErrors(),
                 (std::vector<ValidationError>{{"accessKey", "Unknown"}}));
    }

    void refusedWithoutMessage() {
        m_server->answer(200, R"({"validationErrors":[],"hasError":true})");
        submit(QStringLiteral("K-1"));
        QCOMPARE(AlertManager::shared().messageText(),
                 QStringLiteral("The exam key was not accepted."));
        QVERIFY(AlertManager::shared().isVisible());
        QCOMPARE(m_view->Message(), std::nullopt);
        QVERIFY(!m_view->isConnected());
    }

    void otherAnswersOnlyWriteTheirLine_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("401") << 401 << QByteArray(acceptedWithMessage.c_str());
        QTest::newRow("500") << 500 << QByteArray("oops");
        QTest::newRow("201 with an accepting body")
            << 201 << QByteArray(acceptedWithMessage.c_str());
        QTest::newRow("200, not JSON") << 200 << QByteArray("<html>hello</html>");
        QTest::newRow("200, JSON of another shape") << 200 << QByteArray(R"({"hasError":false})");
    }

    void otherAnswersOnlyWriteTheirLine() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        m_server->answer(status, body.toStdString());
        StateRecorder recorder(*m_view);
        submit(QStringLiteral("K-1"));
        QCOMPARE(m_probe->lines,
                 QStringList{QStringLiteral("Status Code: %1 for initAgent").arg(status)});
        QCOMPARE(recorder.changes, (QStringList{"isLoading=1", "isLoading=0"}));
        QCOMPARE(m_view->Message(), std::optional(QString()));
        QVERIFY(m_view->ValidationErrors().empty());
        QVERIFY(!AlertManager::shared().isVisible());
    }

    void failedExchangesWriteTheNetworkErrorLine_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expectedStart");
        QTest::newRow("refused connection")
            << "refused"
            << "Error: Network error - Connection refused for initAgent";
        QTest::newRow("untrusted certificate") << "untrusted"
                                               << "Error: Network error - SSL handshake failed";
        QTest::newRow("silent server")
            << "silent"
            << "Error: Network error - The request timed out. for initAgent";
        QTest::newRow("body over 1 MiB") << "huge"
                                         << "Error: Network error - The response was too large";
    }

    void failedExchangesWriteTheNetworkErrorLine() {
        QFETCH(QString, kind);
        QFETCH(QString, expectedStart);
        QTcpServer silent;
        std::unique_ptr<TestServer> untrusted;
        if (kind == "refused") {
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            const quint16 port = silent.serverPort();
            silent.close();
            makeAgent(QStringLiteral("https://127.0.0.1:%1/tr/").arg(port));
        } else if (kind == "untrusted") {
            untrusted = std::make_unique<TestServer>(Authority::untrusted);
            untrusted->answer(200, acceptedWithMessage);
            makeAgent(untrusted->baseUrl());
        } else if (kind == "silent") {
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            makeAgent(QStringLiteral("https://127.0.0.1:%1/tr/").arg(silent.serverPort()),
                      {100ms, 300ms, qint64{1} << 20});
        } else {
            m_server->answer(200, std::string((1 << 20) + 10, ' '));
        }
        StateRecorder recorder(*m_view);
        submit(QStringLiteral("K-1"));
        QCOMPARE(m_probe->lines.size(), 1);
        QVERIFY2(m_probe->lines.front().startsWith(expectedStart),
                 qPrintable(m_probe->lines.front()));
        QVERIFY(m_probe->lines.front().endsWith(" for initAgent"));
        QCOMPARE(recorder.changes, (QStringList{"isLoading=1", "isLoading=0"}));
        QVERIFY(!AlertManager::shared().isVisible());
        QVERIFY(!m_view->isConnected());
        if (untrusted) {
            QCOMPARE(untrusted->requestCount(), 0);
        }
    }

    void failureAfterConnectedEndsTheConnection() {
        m_server->answer(200, acceptedWithMessage);
        submit(QStringLiteral("K-1"));
        QVERIFY(m_view->isConnected());
        // Only the key entry offers the button, but the flow itself has no guard.
        m_server->answer(503, "");
        submit(QStringLiteral("K-1"));
        QVERIFY(!m_view->isConnected());
        QCOMPARE(m_probe->lines.last(), QStringLiteral("Status Code: 503 for initAgent"));
    }

    void beginExamOpensTheExamSiteOnly() {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
        m_view->beginExam();
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl("https://exam.example.test")});

        for (const QString &text :
             {QString(), QStringLiteral("not a url"), QStringLiteral("http://exa mple.com"),
              QStringLiteral("relative/path")}) {
            m_view->openLink(text);
        }
        QCOMPARE(catcher.opened.size(), 1);
        m_view->openLink(QStringLiteral("http://example.com/page"));
        QCOMPARE(catcher.opened.size(), 2);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QCOMPARE(m_server->requestCount(), 0);
    }
};

QTEST_MAIN(KeySubmissionTest)
#include "tst_keysubmission.moc"
