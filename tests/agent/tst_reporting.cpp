#include "agent/contentview.h"
#include "faultserver.h"
#include "gate.h"
#include "staterecorder.h"
#include "testagent.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

namespace {

const std::string accepted = R"({"validationErrors":[],"hasError":false})";

// An exam service whose answers to each path the test sets as it goes.
struct ScriptedService {
    std::mutex mutex;
    int initStatus = 200;
    std::string initBody = accepted;
    // Reports are answered with these bytes, once the gate, if there is one, opens.
    std::string checkAnswer = FaultServer::answer(200, accepted);
    std::shared_ptr<Gate> checkGate;

    void mount(FaultServer &server) {
        server.onRequest([this](const RawRequest &request, int, RawConnection &connection) {
            std::unique_lock lock(mutex);
            if (request.path() == "/tr/exam/InitDesktop") {
                connection.send(FaultServer::answer(initStatus, initBody));
                return;
            }
            const std::string answer = checkAnswer;
            const std::shared_ptr<Gate> gate = checkGate;
            lock.unlock();
            if (gate) {
                gate->waitOpen();
            }
            connection.send(answer);
        });
    }

    void answerChecks(int status, const std::string &body, std::shared_ptr<Gate> gate = {}) {
        const std::lock_guard lock(mutex);
        checkAnswer = FaultServer::answer(status, body);
        checkGate = std::move(gate);
    }
};

int countStartingWith(const QStringList &lines, const QString &start) {
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const QString &line) { return line.startsWith(start); }));
}

} // namespace

class ReportingTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<AgentProbe> m_probe;
    std::unique_ptr<FaultServer> m_server;
    std::unique_ptr<ScriptedService> m_service;
    std::unique_ptr<ContentView> m_view;
    std::vector<std::shared_ptr<Gate>> m_gates;

    std::shared_ptr<Gate> newGate() { return m_gates.emplace_back(std::make_shared<Gate>()); }

    void makeAgent(std::chrono::milliseconds interval, SessionLimits limits = {5s, 5s}) {
        m_view = std::make_unique<ContentView>(
            testConfig(m_server->baseUrl(), m_probe, interval, limits));
    }

    void connectWith(const QString &key) {
        m_view->setExamKey(key);
        m_view->submitExamKey();
        QTRY_VERIFY_WITH_TIMEOUT(m_view->isConnected() && !m_view->isLoading(), 10000);
    }

    // Sends a report that the service answers with `body` only once the returned gate opens.
    std::shared_ptr<Gate> sendHeldReport(const std::string &body) {
        auto gate = newGate();
        m_service->answerChecks(200, body, gate);
        const int before = checkRequests();
        m_view->reportTick();
        if (!QTest::qWaitFor([&] { return checkRequests() > before; }, 10000)) {
            qWarning("The held report never reached the service");
        }
        return gate;
    }

    // A report answered 401 ends the connection.
    void endConnectionWithAReport() {
        m_service->answerChecks(401, "");
        m_view->reportTick();
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->isConnected(), 10000);
    }

    int checkRequests() const {
        int count = 0;
        for (const RawRequest &request : m_server->requests()) {
            count += request.path() == "/tr/exam/CheckApplication";
        }
        return count;
    }

private slots:
    void init() {
        m_probe = std::make_shared<AgentProbe>();
        m_probe->runningApplications = {"org.example.A", "org.example.B"};
        m_server = std::make_unique<FaultServer>();
        m_service = std::make_unique<ScriptedService>();
        m_service->mount(*m_server);
        AlertManager::shared().hideAlert();
    }

    void cleanup() {
        // A failed check may leave answers held back; release them so the server can stop.
        for (const auto &gate : m_gates) {
            gate->open();
        }
        m_view.reset();
        m_server.reset();
        m_gates.clear();
    }

    void keyEntrySendsNothing() {
        makeAgent(20ms);
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
        makeAgent(30ms);
        connectWith(QStringLiteral("K-1"));
        m_view->startReportTimer();
        m_view->startReportTimer();
        QCOMPARE(m_view->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
        QCOMPARE(m_view->timer()->interval(), 30);
        QSignalSpy firings(m_view->timer(), &QTimer::timeout);
        const int before = countStartingWith(m_probe->lines, "Sending: ");
        const int requestsBefore = checkRequests();
        QVERIFY(firings.wait(5000));
        const qsizetype firstReport = m_probe->lines.indexOf(
            R"(Sending: CheckAgent(AccessKey: "K-1", ProcessNames: ["org.example.A", "org.example.B"]))");
        QCOMPARE(firstReport, m_probe->lines.indexOf("Status Code: 200 for initAgent") + 1);
        QTRY_VERIFY_WITH_TIMEOUT(firings.count() >= 4, 10000);
        m_view->timer()->stop();
        QCOMPARE(countStartingWith(m_probe->lines, "Sending: ") - before, firings.count());
        QTRY_COMPARE_WITH_TIMEOUT(checkRequests() - requestsBefore, firings.count(), 10000);
        QCOMPARE(
            m_server->requests().back().body,
            std::string(R"({"accessKey":"K-1","processNames":["org.example.A","org.example.B"]})"));
        QTRY_COMPARE(countStartingWith(m_probe->lines, "Status Code: 200 for checkAgent"),
                     before + firings.count());
        QVERIFY(m_view->isConnected());
    }

    void theReportCarriesTheApplicationsOfItsTick() {
        makeAgent(10s);
        connectWith(QStringLiteral("K-1"));
        m_probe->runningApplications = {};
        m_view->reportTick();
        QCOMPARE(m_probe->lines.last(),
                 QStringLiteral(R"(Sending: CheckAgent(AccessKey: "K-1", ProcessNames: []))"));
        QTRY_COMPARE(checkRequests(), 1);
        QCOMPARE(m_server->requests().back().body,
                 std::string(R"({"accessKey":"K-1","processNames":[]})"));
    }

    // The product reports every 3.0 s: a coarse timer may fire up to 5 % early or late.
    void theProductTimerIsPrecise() {
        ContentView view(
            testConfig(m_server->baseUrl(), m_probe, AgentConfig::productReportInterval));
        view.startReportTimer();
        QCOMPARE(view.timer()->interval(), 3000);
        QCOMPARE(view.timer()->timerType(), Qt::PreciseTimer);
    }

    void aLateReportOfAnOldConnectionChangesNothing() {
        makeAgent(10s);
        connectWith(QStringLiteral("OLD"));
        auto gate =
            sendHeldReport(R"({"validationErrors":[],"hasError":true,"message":"old connection"})");
        QVERIFY(m_view->isLoading());
        endConnectionWithAReport();
        // The held report belongs to a connection that has ended: it keeps nothing disabled.
        QVERIFY(!m_view->isLoading());

        m_service->answerChecks(200, accepted);
        connectWith(QStringLiteral("NEW"));
        const std::optional<QString> message = m_view->Message();
        StateRecorder recorder(*m_view);
        gate->open();
        QTRY_COMPARE(countStartingWith(m_probe->lines, "Status Code: 200 for checkAgent"), 1);
        QVERIFY(m_view->isConnected());
        QVERIFY(!AlertManager::shared().isVisible());
        QCOMPARE(m_view->Message(), message);
        QVERIFY(recorder.changes.isEmpty());
    }

    void aLateReportOfTheEndedConnectionStillApplies() {
        makeAgent(10s);
        connectWith(QStringLiteral("K-1"));
        auto gate =
            sendHeldReport(R"({"validationErrors":[],"hasError":true,"message":"late refusal"})");
        endConnectionWithAReport();

        gate->open();
        QTRY_VERIFY_WITH_TIMEOUT(AlertManager::shared().isVisible(), 10000);
        QCOMPARE(AlertManager::shared().messageText(), QStringLiteral("late refusal"));
        QCOMPARE(m_view->Message(), std::optional(QStringLiteral("late refusal")));
        QVERIFY(!m_view->isConnected());
    }

    void aReportEndingDoesNotReleaseAWaitingSubmission() {
        makeAgent(10s);
        connectWith(QStringLiteral("K-1"));
        auto reportGate = sendHeldReport(accepted);
        {
            // The connection ends through a failed submission while the report still waits.
            const std::lock_guard lock(m_service->mutex);
            m_service->initStatus = 500;
        }
        m_view->submitExamKey();
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->isConnected(), 10000);
        QVERIFY(!m_view->isLoading());

        // The next submission is held back too; the report ends first.
        auto submissionGate = newGate();
        m_server->onRequest([submissionGate, reportGate](const RawRequest &request, int,
                                                         RawConnection &connection) {
            (request.path() == "/tr/exam/InitDesktop" ? submissionGate : reportGate)->waitOpen();
            connection.send(FaultServer::answer(200, accepted));
        });
        m_view->submitExamKey();
        QVERIFY(m_view->isLoading());
        reportGate->open();
        QTRY_COMPARE(countStartingWith(m_probe->lines, "Status Code: 200 for checkAgent"), 1);
        QVERIFY(m_view->isLoading());
        submissionGate->open();
        QTRY_VERIFY_WITH_TIMEOUT(m_view->isConnected() && !m_view->isLoading(), 10000);
    }
};

QTEST_MAIN(ReportingTest)
#include "tst_reporting.moc"
