// Both exam flows: what goes out, the state changes, the timer, answers that come late.
#include "scriptedservicetest.h"

class ExamFlowsTest : public ScriptedServiceTest {
    Q_OBJECT
private slots:
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
};

QTEST_MAIN(ExamFlowsTest)
#include "tst_examflows.moc"
