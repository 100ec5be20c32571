#include "agent/contentview.h"
#include "faultserver.h"
#include "staterecorder.h"
#include "testagent.h"
#include "urlcatcher.h"

#include <QDesktopServices>
#include <QTest>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

namespace {

const std::string acceptedWithMessage =
    R"({"validationErrors":[],"hasError":false,"message":"Welcome"})";
const std::string refusedWithMessage =
    R"({"validationErrors":[{"key":"accessKey","value":"Unknown"}],"hasError":true,"message":"Wrong key"})";

} // namespace

class KeySubmissionTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<AgentProbe> m_probe;
    std::unique_ptr<FaultServer> m_server;
    std::unique_ptr<ContentView> m_view;

    void makeAgent(const QString &baseUrl, SessionLimits limits = {5s, 5s}) {
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
        m_server = std::make_unique<FaultServer>();
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
        m_server->answerEvery(200, acceptedWithMessage);
        submit(QStringLiteral("   "));
        const std::vector<RawRequest> requests = m_server->requests();
        QCOMPARE(requests.size(), 1u);
        QCOMPARE(requests[0].requestLine, std::string("POST /tr/exam/InitDesktop HTTP/1.1"));
        QCOMPARE(
            requests[0].body,
            std::string(
                R"({"accessKey":"   ","processNames":["org.example.Editor","org.example.Editor","snap.spotify"]})"));
        QCOMPARE(requests[0].header("Content-Type"), std::vector<std::string>{"application/json"});
        QCOMPARE(requests[0].header("Content-Length"),
                 std::vector<std::string>{std::to_string(requests[0].body.size())});
    }

    // The flow's state changes come in the order the candidate's screen relies on.
    void stateChangesInOrder_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<bool>("connected");
        QTest::newRow("accepted") << QByteArray(acceptedWithMessage.c_str())
                                  << QStringList{"isLoading=1", "isConnected=1", "Message",
                                                 "ValidationErrors", "isLoading=0"}
                                  << true;
        QTest::newRow("refused") << QByteArray(refusedWithMessage.c_str())
                                 << QStringList{"isLoading=1", "alert=Wrong key", "Message",
                                                "ValidationErrors", "isLoading=0"}
                                 << false;
        QTest::newRow("not a response") << QByteArray(R"({"hasError":false})")
                                        << QStringList{"isLoading=1", "isLoading=0"} << false;
    }

    void stateChangesInOrder() {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, changes);
        QFETCH(bool, connected);
        m_server->answerEvery(200, body.toStdString());
        StateRecorder recorder(*m_view);
        submit(QStringLiteral("K-1"));
        QCOMPARE(recorder.changes, changes);
        QCOMPARE(m_view->isConnected(), connected);
        if (connected) {
            QCOMPARE(m_view->Message(), std::optional(QStringLiteral("Welcome")));
        } else if (changes.size() > 2) {
            QCOMPARE(m_view->Message(), std::optional(QStringLiteral("Wrong key")));
            QCOMPARE(m_view->ValidationErrors(),
                     (std::vector<ValidationError>{{"accessKey", "Unknown"}}));
        } else {
            QCOMPARE(m_view->Message(), std::optional(QString()));
        }
    }

    void failureAfterConnectedEndsTheConnection() {
        m_server->answerEvery(200, acceptedWithMessage);
        submit(QStringLiteral("K-1"));
        QVERIFY(m_view->isConnected());
        // Only the key entry offers the button, but the flow itself has no guard.
        m_server->answerEvery(503, "");
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
