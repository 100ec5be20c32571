// Both exam flows against a real HTTPS service on loopback: what goes out, the order of the
// state changes, the report timer, answers that arrive after the connection they belong to,
// and, in one table, every way an exchange can go wrong on the wire with the console line,
// the state after and the alert each must give.

#include "staterecorder.h"
#include "testagent.h"

#include <QPointer>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Presented)
Q_DECLARE_METATYPE(FaultServer::Script)

namespace {

const std::string accepted(FaultServer::acceptedBody);
// Short time limits (inactivity, whole exchange) for the fault table; the body limit is the
// product's.
const SessionLimits limits{1000ms, 1500ms};

FaultServer::Script answerWith(std::string bytes, bool thenClose = false, bool reset = false) {
    return [=](const RawRequest &, int, RawConnection &connection) {
        connection.send(bytes);
        if (reset) {
            connection.reset();
        } else if (thenClose) {
            connection.close();
        }
    };
}

// Moved elsewhere, where it is accepted.
FaultServer::Script redirect(int status) {
    return [=](const RawRequest &, int index, RawConnection &connection) {
        connection.send(index == 0 ? FaultServer::answer(status, {}, "Location: /tr/exam/Moved\r\n")
                                   : FaultServer::answer(200, accepted));
    };
}

std::string chunked(const std::string &body) {
    std::string bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (std::size_t at = 0; at < body.size(); at += 4096) {
        const std::string chunk = body.substr(at, 4096);
        bytes += QByteArray::number(qulonglong(chunk.size()), 16).toStdString() + "\r\n" + chunk +
                 "\r\n";
    }
    return bytes + "0\r\n\r\n";
}

FaultServer::Script drip(std::size_t bytesPerWrite, std::chrono::milliseconds pause) {
    return [=](const RawRequest &, int, RawConnection &connection) {
        connection.drip(FaultServer::answer(200, accepted), bytesPerWrite, pause);
    };
}

// Back to this very service in plain text: a connection would show on its count.
void redirectToPlainHttp(const RawRequest &request, int, RawConnection &connection) {
    const std::string host = request.header("Host").front();
    connection.send(FaultServer::answer(307, {}, "Location: http://" + host + "/tr/exam/M\r\n"));
}

std::string refused(const std::string &message) {
    return R"({"validationErrors":[{"key":"accessKey","value":"Unknown"}],"hasError":true,)"
           R"("message":")" +
           message + "\"}";
}

} // namespace

class ExamFlowsTest : public QObject {
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
        waitUntilIdle(*m_view);
    }

    // The exchange a table row is about: the key's, or the first report once the key is in.
    // `faulted` answers it, and every exchange after it.
    static FaultServer::Script atTheExchange(bool report, FaultServer::Script faulted) {
        return [=](const RawRequest &request, int index, RawConnection &connection) {
            if (report && index == 0) {
                connection.send(FaultServer::answer(200, accepted));
            } else {
                faulted(request, index - int(report), connection);
            }
        };
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

    // The key goes out as typed, with the applications as found; the state changes come in
    // the order the candidate's screen relies on. An empty key never leaves the agent, nor
    // does any key of an agent that cannot see the session: it says so in the empty key's way,
    // before it asks for a key, since no key mends it.
    void submission_data() {
        QTest::addColumn<bool>("sees");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("message");
        const QString loading = "isLoading=1";
        const QStringList answered{"Message", "ValidationErrors", "isLoading=0"};
        const QStringList blind{"alert=This computer's applications cannot be seen from here. Run "
                                "the agent outside any container or sandbox."};
        QTest::newRow("accepted")
            << true << "   "
            << QByteArray(R"({"validationErrors":[],"hasError":false,"message":"Hi"})")
            << QStringList{loading, "isConnected=1"} + answered << "Hi";
        QTest::newRow("refused") << true << "   " << QByteArray::fromStdString(refused("Wrong key"))
                                 << QStringList{loading, "alert=Wrong key"} + answered
                                 << "Wrong key";
        QTest::newRow("not a response") << true << "   " << QByteArray(R"({"hasError":false})")
                                        << QStringList{loading, "isLoading=0"} << "";
        QTest::newRow("empty key")
            << true << "" << QByteArray()
            << QStringList{loading, "alert=Please enter the exam key.", "isLoading=0"} << "";
        QTest::newRow("blind, a key") << false << "K-1" << QByteArray() << blind << "";
        QTest::newRow("blind, no key") << false << "" << QByteArray() << blind << "";
    }

    void submission() {
        QFETCH(bool, sees);
        QFETCH(QString, key);
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, changes);
        QFETCH(QString, message);
        m_probe->seesUserSession = sees;
        m_initAnswer = FaultServer::answer(200, answer.toStdString());
        StateRecorder recorder(*m_view);
        submit(key);
        QCOMPARE(recorder.changes, changes);
        QCOMPARE(m_view->isConnected(), changes.contains("isConnected=1"));
        QCOMPARE(m_view->Message().value_or(""), message);
        QCOMPARE(m_view->ValidationErrors().size(), std::size_t(message == "Wrong key"));
        if (!sees) {
            QCOMPARE(m_view->alertManager()->type(), AlertType::danger);
            QVERIFY(m_probe->lines.isEmpty());
            // A press that sees comes after it: once it is answered, the service has had every
            // request the blind press could have sent.
            m_probe->seesUserSession = true;
            key = "K-2";
            submit(key);
        }
        QCOMPARE(m_server->requestCount(), int(!key.isEmpty()));
        QCOMPARE(m_probe->lines.isEmpty(), key.isEmpty());
        if (key.isEmpty()) {
            return;
        }
        const RawRequest &sent = m_server->requests().front();
        QVERIFY(sent.head.starts_with("POST /tr/exam/InitDesktop HTTP/1.1\r\n"));
        QCOMPARE(sent.body,
                 R"({"accessKey":")" + key.toStdString() +
                     R"(","processNames":["org.example.A","org.example.A","snap.spotify"]})");
        QCOMPARE(sent.header("Content-Type"), std::vector<std::string>{"application/json"});
        QCOMPARE(sent.header("Content-Length"),
                 std::vector<std::string>{std::to_string(sent.body.size())});
    }

    // Counts firings, not time: while the key is entered a firing sends nothing; once
    // connected, each firing sends exactly one report, the first firing the first, on the
    // connection the key went on. Starting the timer twice keeps one timer: a second would add
    // reports of its own. The timer stops after the first firing until its answer is in: at
    // the test's short interval a slow machine would otherwise have two reports in flight, and
    // the second rightly opens a connection of its own.
    void reportsAtEveryFiringOnceConnected() {
        m_view->startReportTimer();
        m_view->startReportTimer();
        QSignalSpy firings(m_view->timer(), &QTimer::timeout);
        QTRY_VERIFY(firings.count() >= 2);
        QVERIFY(m_probe->lines.isEmpty());
        m_view->timer()->stop();
        submit("K-1");
        firings.clear();
        m_view->timer()->start();
        QVERIFY(firings.wait(5000));
        m_view->timer()->stop();
        QCOMPARE(m_probe->lines.at(1),
                 QStringLiteral(R"(Sending: CheckAgent(AccessKey: "K-1", ProcessNames: )"
                                R"(["org.example.A", "org.example.A", "snap.spotify"]))"));
        QTRY_COMPARE(m_probe->lines.filter("Status Code: 200 for checkAgent").size(), 1);
        QCOMPARE(m_server->connectionCount(), 1);
        m_view->timer()->start();
        QTRY_VERIFY_WITH_TIMEOUT(firings.count() >= 4, 10000);
        m_view->timer()->stop();
        QCOMPARE(m_probe->lines.filter("Sending: CheckAgent").size(), firings.count());
        QTRY_COMPARE(m_probe->lines.filter("Status Code: 200 for checkAgent").size(),
                     firings.count());
        QCOMPARE(m_server->requestCount(), 1 + firings.count());
    }

    // The scan that first finds a new login needed sets the notice's state, and it stays for
    // the run: later scans, whatever they find, neither clear it nor set it again.
    void newLoginNeededOnceForTheRun() {
        QSignalSpy changes(m_view.get(), &ContentView::needsNewLoginChanged);
        submit("K-1");
        QVERIFY(!m_view->needsNewLogin());
        m_probe->windowsNeedNewLogin = true;
        m_view->reportTick();
        QVERIFY(m_view->needsNewLogin());
        m_view->reportTick();
        m_probe->windowsNeedNewLogin = false;
        m_view->reportTick();
        waitUntilIdle(*m_view);
        QVERIFY(m_view->needsNewLogin());
        QCOMPARE(changes.count(), 1);
    }

    // An agent that cannot vouch for its own process sends nothing from the key button; met
    // while connected, it ends the connection there and then, and a report on its way when it
    // ended changes nothing when it is answered.
    void changeableAgentSendsNothing() {
        const QString alert = "alert=This agent was started in a way that lets another program "
                              "change what it reports. Start it again from your applications menu.";
        m_probe->vouchesForOwnProcess = false;
        StateRecorder pressed(*m_view);
        submit("K-1");
        QCOMPARE(pressed.changes, QStringList{alert});
        QCOMPARE(m_view->alertManager()->type(), AlertType::danger);
        m_probe->vouchesForOwnProcess = true;
        submit("K-1");
        QCOMPARE(m_server->requestCount(), 1);
        m_holdChecks = true;
        m_view->reportTick();
        QTRY_VERIFY(m_heldCheck);
        m_probe->vouchesForOwnProcess = false;
        AlertManager::shared().hideAlert();
        StateRecorder ticked(*m_view);
        m_view->reportTick();
        m_view->reportTick();
        QCOMPARE(ticked.changes, (QStringList{"isLoading=0", "isConnected=0", alert}));
        m_heldCheck->send(FaultServer::answer(401, refused("Ended")));
        QTRY_VERIFY(m_probe->lines.contains("Status Code: 401 for checkAgent"));
        QCOMPARE(ticked.changes.size(), 3);
        QCOMPARE(m_server->requestCount(), 2);
    }

    // A report answered after its connection ended has the last word until a new connection
    // is up, and then changes nothing; it never releases a submission that waits.
    void lateReports_data() {
        QTest::addColumn<QString>("then");
        QTest::newRow("the connection ended") << "ended";
        QTest::newRow("a new connection is up") << "connected again";
        QTest::newRow("a new key is being submitted") << "submitting";
    }

    void lateReports() {
        QFETCH(QString, then);
        submit("OLD");
        m_holdChecks = true;
        m_view->reportTick();
        QTRY_VERIFY(m_heldCheck);
        m_holdChecks = false;
        // The connection ends through a failed submission or a report answered 401.
        m_initAnswer = FaultServer::answer(500, {});
        m_checkAnswer = FaultServer::answer(401, {});
        then == "submitting" ? m_view->submitExamKey() : m_view->reportTick();
        waitUntilIdle(*m_view);
        // The held report belongs to a connection that has ended: it keeps nothing disabled.
        QVERIFY(!m_view->isConnected() && !m_view->isLoading());
        m_initAnswer = m_checkAnswer = FaultServer::answer(200, accepted);
        m_holdInits = then == "submitting";
        if (then != "ended") {
            m_view->setExamKey("NEW");
            m_view->submitExamKey();
            QTRY_VERIFY(m_heldInit || !m_view->isLoading());
        }
        StateRecorder recorder(*m_view);
        m_heldCheck->send(FaultServer::answer(200, refused("late refusal")));
        QTRY_COMPARE(m_probe->lines.filter("Status Code: 200 for checkAgent").size(), 1);
        QCOMPARE(recorder.changes.isEmpty(), then == "connected again");
        QCOMPARE(m_view->isLoading(), then == "submitting");
        if (then != "connected again") {
            QCOMPARE(AlertManager::shared().messageText(), "late refusal");
            QCOMPARE(m_view->Message(), std::optional(QStringLiteral("late refusal")));
        }
        if (m_heldInit) {
            m_heldInit->send(FaultServer::answer(200, accepted));
            waitUntilIdle(*m_view);
        }
        QCOMPARE(m_view->isConnected(), then != "ended");
    }

    void bothFlows_data() {
        QTest::addColumn<bool>("report");
        QTest::addColumn<FaultServer::Script>("fault");
        QTest::addColumn<Presented>("presented");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("alert");
        QTest::addColumn<int>("requests");

        const auto row = [](bool report, const char *name, const FaultServer::Script &fault,
                            const QString &line, bool connected, const QString &alert = {},
                            int requests = 1, Presented presented = Presented::trusted) {
            const QString flow = report ? "checkAgent" : "initAgent";
            QTest::newRow(qPrintable(flow + ": " + name))
                << report << fault << presented << line + " for " + flow << connected << alert
                << requests;
        };
        const auto answer = [](int status, const std::string &body) {
            return answerWith(FaultServer::answer(status, body));
        };
        const QString ok = "Status Code: 200";
        const QString tooLarge =
            "Error: Network error - The response was too large (more than 1048576 bytes).";
        const QString timedOut = "Error: Network error - The request timed out.";
        const QString closed = "Error: Network error - Connection closed";
        const std::string overLimit((1 << 20) + 1, ' ');
        const FaultServer::Script none = [](const RawRequest &, int, RawConnection &) {};

        for (const bool report : {false, true}) {
            // A report never connects; it only keeps or ends the connection.
            const QString keyRefused = report ? "The exam service ended the connection."
                                              : "The exam key was not accepted.";
            row(report, "accepted", answer(200, accepted), ok, true);
            row(report, "refused",
                answer(200, R"({"validationErrors":[{"key":"k","value":"v"}],"hasError":true,)"
                            R"("message":"Go away"})"),
                ok, false, "Go away");
            row(report, "refused, blank message",
                answer(200, R"({"validationErrors":[],"hasError":true,"message":" \n"})"), ok,
                false, keyRefused);
            // Whatever Qt makes of a status, the status line is what the console shows, and
            // only 200 connects or keeps the connection, whatever the body says. A 1xx is never
            // the answer: one and then a closed connection is a connection closed unanswered.
            for (int status = 100; status <= 599; ++status) {
                row(report, qPrintable(QStringLiteral("status %1, then close").arg(status)),
                    answerWith(FaultServer::answer(status, accepted, "Connection: close\r\n"),
                               true),
                    status < 200 ? closed : QStringLiteral("Status Code: %1").arg(status),
                    status == 200);
            }
            row(report, "500, 2 MiB body", answer(500, std::string(2 << 20, 'x')),
                "Status Code: 500", false);
            row(report, "200, number beyond a double",
                answer(200, R"({"validationErrors":[],"hasError":false,"x":1e500})"), ok, report);
            row(report, "200, body over 1 MiB", answer(200, overLimit), tooLarge, false);
            row(report, "reset before the status line", answerWith({}, true, true), closed, false);
            row(report, "307 to another path", redirect(307), ok, true, {}, 2);
        }
        row(false, "500, reset mid-body",
            answerWith("HTTP/1.1 500 Oops\r\nContent-Length: 100\r\n\r\n{\"a\":", true, true),
            "Status Code: 500", false);
        row(false, "200, body of exactly 1 MiB", answer(200, std::string(1 << 20, ' ')), ok, false);
        row(false, "200, chunked", answerWith(chunked(accepted)), ok, true);
        row(false, "200, chunked over 1 MiB", answerWith(chunked(overLimit)), tooLarge, false);
        row(false, "200, length says more, then close",
            answerWith("HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n" + accepted, true), closed,
            false);
        row(false, "200, length says less",
            answerWith("HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n" + accepted), ok, false);
        row(false, "HTTP/1.0, body until close",
            answerWith("HTTP/1.0 200 OK\r\nConnection: close\r\n\r\n" + accepted, true), ok, true);
        row(false, "200, dripped within the limits", drip(16, 20ms), ok, true);
        row(false, "200, dripped past the whole-exchange limit", drip(2, 200ms), timedOut, false);
        row(false, "never answered", none, timedOut, false);
        row(false, "closed before the status line", answerWith({}, true), closed, false);
        row(false, "302 to another path", redirect(302), ok, true, {}, 2);
        row(false, "307 to plain http", redirectToPlainHttp,
            "Error: Network error - Insecure redirect", false);
        row(false, "307 to itself, again and again",
            answerWith(FaultServer::answer(307, {}, "Location: /tr/exam/InitDesktop\r\n")),
            "Error: Network error - Too many redirects", false, {}, 17);
        const QString handshake = "Error: Network error - SSL handshake failed: ";
        row(false, "another host's certificate", none,
            handshake + "The host name did not match any of the valid hosts for this certificate",
            false, {}, 0, Presented::otherHost);
        row(false, "an expired certificate", none, handshake + "The certificate has expired", false,
            {}, 0, Presented::expired);
        row(false, "a self-signed certificate", none,
            handshake + "The certificate is self-signed, and untrusted", false, {}, 0,
            Presented::selfSigned);
    }

    void bothFlows() {
        QFETCH(bool, report);
        QFETCH(FaultServer::Script, fault);
        QFETCH(Presented, presented);
        QFETCH(QString, line);
        QFETCH(bool, connected);
        QFETCH(QString, alert);
        QFETCH(int, requests);

        FaultServer server(presented);
        server.onRequest(atTheExchange(report, fault));
        m_view = std::make_unique<ContentView>(testConfig(server.baseUrl(), m_probe, 1h, limits));
        QCOMPARE(exchange(*m_view, *m_probe, report), line);
        QCOMPARE(m_view->isConnected(), connected);
        QCOMPARE(AlertManager::shared().isVisible() ? AlertManager::shared().messageText()
                                                    : QString(),
                 alert);
        QCOMPARE(server.requestCount() - int(report), requests);
        if (line.contains("Insecure redirect")) {
            QCOMPARE(server.connectionCount(), 1);
        }
        // Whatever was sent went out whole: a redirect that keeps the method keeps the body.
        for (const RawRequest &received : server.requests()) {
            if (received.head.starts_with("POST")) {
                QCOMPARE(received.body, server.requests().front().body);
            }
        }
        m_view.reset();
    }
};

QTEST_MAIN(ExamFlowsTest)
#include "tst_examflows.moc"
