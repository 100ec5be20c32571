// The two exam flows against a real HTTPS service on loopback: what goes out, the order of the
// state changes, the report timer, and answers that arrive after the connection they belong to.

#include "agent/contentview.h"
#include "faultserver.h"
#include "staterecorder.h"
#include "testagent.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

namespace {

const std::string accepted = R"({"validationErrors":[],"hasError":false})";

std::string refused(const std::string &message) {
    return R"({"validationErrors":[{"key":"accessKey","value":"Unknown"}],"hasError":true,)"
           R"("message":")" +
           message + "\"}";
}

} // namespace

class FlowsTest : public QObject {
    Q_OBJECT

    std::shared_ptr<AgentProbe> m_probe;
    std::unique_ptr<FaultServer> m_server;
    std::unique_ptr<ContentView> m_view;
    std::string m_initAnswer;
    std::string m_checkAnswer;
    // While set, requests to that path are held back, to be answered on the connection kept.
    bool m_holdInits = false;
    bool m_holdChecks = false;
    QPointer<RawConnection> m_heldInit;
    QPointer<RawConnection> m_heldCheck;

    void submit(const QString &key) {
        m_view->setExamKey(key);
        m_view->submitExamKey();
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->isLoading(), 10000);
    }

    void sendHeldReport() {
        m_holdChecks = true;
        m_view->reportTick();
        QTRY_VERIFY(m_heldCheck);
        m_holdChecks = false;
        QVERIFY(m_view->isLoading());
    }

    void endConnectionWithAReport() {
        m_checkAnswer = FaultServer::answer(401, {});
        m_view->reportTick();
        QTRY_VERIFY(!m_view->isConnected());
    }

    qsizetype linesStartingWith(const QString &start) const {
        return std::count_if(m_probe->lines.begin(), m_probe->lines.end(),
                             [&](const QString &line) { return line.startsWith(start); });
    }

private slots:
    void init() {
        m_probe = std::make_shared<AgentProbe>();
        m_probe->runningApplications = {"org.example.A", "org.example.A", "snap.spotify"};
        m_server = std::make_unique<FaultServer>();
        m_initAnswer = m_checkAnswer = FaultServer::answer(200, accepted);
        m_holdInits = m_holdChecks = false;
        m_server->onRequest([this](const RawRequest &request, int, RawConnection &connection) {
            const bool init = request.path() == "/tr/exam/InitDesktop";
            if (init ? m_holdInits : m_holdChecks) {
                (init ? m_heldInit : m_heldCheck) = &connection;
            } else {
                connection.send(init ? m_initAnswer : m_checkAnswer);
            }
        });
        // The timer only runs where a test starts it.
        m_view = std::make_unique<ContentView>(testConfig(m_server->baseUrl(), m_probe, 30ms));
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
    }

    // The key goes out as typed, with the applications as found; the state changes come in
    // the order the candidate's screen relies on.
    void submission_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("message");
        QTest::newRow("accepted")
            << QByteArray(R"({"validationErrors":[],"hasError":false,"message":"Welcome"})")
            << QStringList{"isLoading=1", "isConnected=1", "Message", "ValidationErrors",
                           "isLoading=0"}
            << "Welcome";
        QTest::newRow("refused") << QByteArray::fromStdString(refused("Wrong key"))
                                 << QStringList{"isLoading=1", "alert=Wrong key", "Message",
                                                "ValidationErrors", "isLoading=0"}
                                 << "Wrong key";
        QTest::newRow("not a response") << QByteArray(R"({"hasError":false})")
                                        << QStringList{"isLoading=1", "isLoading=0"} << "";
    }

    void submission() {
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, changes);
        QFETCH(QString, message);
        m_initAnswer = FaultServer::answer(200, answer.toStdString());
        StateRecorder recorder(*m_view);
        submit(QStringLiteral("   "));
        QCOMPARE(recorder.changes, changes);
        QCOMPARE(m_view->isConnected(), changes.contains("isConnected=1"));
        QCOMPARE(m_view->Message(), std::optional(message));
        QCOMPARE(m_view->ValidationErrors().size(), std::size_t(message == "Wrong key"));

        const RawRequest &sent = m_server->requests().at(0);
        QCOMPARE(sent.requestLine, std::string("POST /tr/exam/InitDesktop HTTP/1.1"));
        QCOMPARE(sent.body, std::string(R"({"accessKey":"   ","processNames":)"
                                        R"(["org.example.A","org.example.A","snap.spotify"]})"));
        QCOMPARE(sent.header("Content-Type"), std::vector<std::string>{"application/json"});
        QCOMPARE(sent.header("Content-Length"),
                 std::vector<std::string>{std::to_string(sent.body.size())});
    }

    void keyEntrySendsNothing() {
        m_view->startReportTimer();
        QSignalSpy firings(m_view->timer(), &QTimer::timeout);
        QTRY_VERIFY(firings.count() >= 3);
        QVERIFY(m_probe->lines.isEmpty());
        QCOMPARE(m_server->requestCount(), 0);
    }

    // Counts firings, not time: each firing while connected sends exactly one report, and
    // the first firing after the key is accepted sends the first. Starting the timer twice
    // keeps one timer: a second would add reports of its own.
    void reportsAtEveryFiringOnceConnected() {
        submit(QStringLiteral("K-1"));
        m_view->startReportTimer();
        m_view->startReportTimer();
        QCOMPARE(m_view->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
        QSignalSpy firings(m_view->timer(), &QTimer::timeout);
        QVERIFY(firings.wait(5000));
        QCOMPARE(m_probe->lines.at(m_probe->lines.indexOf("Status Code: 200 for initAgent") + 1),
                 QStringLiteral(R"(Sending: CheckAgent(AccessKey: "K-1", ProcessNames: )"
                                R"(["org.example.A", "org.example.A", "snap.spotify"]))"));
        QTRY_VERIFY_WITH_TIMEOUT(firings.count() >= 4, 10000);
        m_view->timer()->stop();
        QCOMPARE(linesStartingWith("Sending: CheckAgent"), firings.count());
        QTRY_COMPARE(linesStartingWith("Status Code: 200 for checkAgent"), firings.count());
        QCOMPARE(m_server->requestCount(), 1 + firings.count());
        QVERIFY(m_view->isConnected());
    }

    // The product reports every 3.0 s: a coarse timer may fire up to 5 % early or late.
    void theProductTimerIsPrecise() {
        ContentView view(
            testConfig(m_server->baseUrl(), m_probe, AgentConfig::productReportInterval));
        view.startReportTimer();
        QCOMPARE(view.timer()->interval(), 3000);
        QCOMPARE(view.timer()->timerType(), Qt::PreciseTimer);
    }

    // Each report carries the applications of its own tick, and all go on one connection.
    void reportsFollowTheApplicationsOnOneConnection() {
        submit(QStringLiteral("K-1"));
        for (const QStringList &running : {QStringList{}, QStringList{"b", "a"}}) {
            m_probe->runningApplications = running;
            m_view->reportTick();
            QTRY_VERIFY(!m_view->isLoading());
        }
        QCOMPARE(m_server->requests().at(1).body,
                 std::string(R"({"accessKey":"K-1","processNames":[]})"));
        QCOMPARE(m_server->requests().at(2).body,
                 std::string(R"({"accessKey":"K-1","processNames":["b","a"]})"));
        QCOMPARE(m_server->connectionCount(), 1);
    }

    void aLateReportOfAnOldConnectionChangesNothing() {
        submit(QStringLiteral("OLD"));
        sendHeldReport();
        endConnectionWithAReport();
        // The held report belongs to a connection that has ended: it keeps nothing disabled.
        QVERIFY(!m_view->isLoading());

        m_checkAnswer = FaultServer::answer(200, accepted);
        submit(QStringLiteral("NEW"));
        const std::optional<QString> message = m_view->Message();
        StateRecorder recorder(*m_view);
        m_heldCheck->send(FaultServer::answer(200, refused("old connection")));
        QTRY_COMPARE(linesStartingWith("Status Code: 200 for checkAgent"), 1);
        QVERIFY(m_view->isConnected());
        QVERIFY(!AlertManager::shared().isVisible());
        QCOMPARE(m_view->Message(), message);
        QVERIFY(recorder.changes.isEmpty());
    }

    void aLateReportOfTheEndedConnectionStillApplies() {
        submit(QStringLiteral("K-1"));
        sendHeldReport();
        endConnectionWithAReport();
        m_heldCheck->send(FaultServer::answer(200, refused("late refusal")));
        QTRY_VERIFY(AlertManager::shared().isVisible());
        QCOMPARE(AlertManager::shared().messageText(), QStringLiteral("late refusal"));
        QCOMPARE(m_view->Message(), std::optional(QStringLiteral("late refusal")));
        QVERIFY(!m_view->isConnected());
    }

    void aReportEndingDoesNotReleaseAWaitingSubmission() {
        submit(QStringLiteral("K-1"));
        sendHeldReport();
        // A failed submission ends the connection while the report still waits.
        m_initAnswer = FaultServer::answer(500, {});
        submit(QStringLiteral("K-1"));
        QVERIFY(!m_view->isConnected());
        QCOMPARE(m_probe->lines.last(), QStringLiteral("Status Code: 500 for initAgent"));

        // The next submission is held back too; the report ends first.
        m_holdInits = true;
        m_view->submitExamKey();
        QTRY_VERIFY(m_heldInit);
        m_heldCheck->send(FaultServer::answer(200, accepted));
        QTRY_COMPARE(linesStartingWith("Status Code: 200 for checkAgent"), 1);
        QVERIFY(m_view->isLoading());
        m_heldInit->send(FaultServer::answer(200, accepted));
        QTRY_VERIFY(m_view->isConnected() && !m_view->isLoading());
    }
};

QTEST_MAIN(FlowsTest)
#include "tst_flows.moc"
