// Both exam flows against a misbehaving HTTPS service: every way an exchange can go wrong on
// the wire, with the console line, the state after and the alert each must give.

#include "agent/contentview.h"
#include "faultserver.h"
#include "testagent.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Qolvi_Desktop_Agent::testing::Presented)
Q_DECLARE_METATYPE(std::function<void(const Qolvi_Desktop_Agent::testing::RawRequest &, int,
                                      Qolvi_Desktop_Agent::testing::RawConnection &)>)

namespace {

const std::string acceptedBody = R"({"validationErrors":[],"hasError":false})";
// Short time limits; the body limit is the product's.
const SessionLimits limits{1000ms, 1500ms};

// What the service does with the exchange under test; `index` counts its requests from 0
// (a redirect's second request is 1).
using Fault = std::function<void(const RawRequest &, int index, RawConnection &)>;

Fault answerWith(std::string bytes) {
    return [bytes](const RawRequest &, int, RawConnection &connection) { connection.send(bytes); };
}

Fault redirect(int status, std::string location, std::string then) {
    return [=](const RawRequest &, int index, RawConnection &connection) {
        connection.send(
            index == 0 ? FaultServer::answer(status, {}, "Location: " + location + "\r\n") : then);
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

Fault dropAfter(std::string bytes, bool reset) {
    return [bytes, reset](const RawRequest &, int, RawConnection &connection) {
        if (!bytes.empty()) {
            connection.send(bytes);
        }
        reset ? connection.reset() : connection.close();
    };
}

Fault drip(std::size_t bytesPerWrite, std::chrono::milliseconds pause) {
    return [=](const RawRequest &, int, RawConnection &connection) {
        connection.drip(FaultServer::answer(200, acceptedBody), bytesPerWrite, pause);
    };
}

// Back to this very service in plain text: a connection would show on its count.
void redirectToPlainHttp(const RawRequest &request, int, RawConnection &connection) {
    const std::size_t host = request.head.find("\r\nHost: ") + 8;
    const std::string authority = request.head.substr(host, request.head.find("\r\n", host) - host);
    connection.send(
        FaultServer::answer(307, {}, "Location: http://" + authority + "/tr/exam/Moved\r\n"));
}

} // namespace

class FaultMatrixTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<AgentProbe> m_probe;
    std::unique_ptr<FaultServer> m_statusServer;
    std::shared_ptr<AgentProbe> m_statusProbe;
    std::unique_ptr<ContentView> m_statusAgent;

    // The agent's lines from the exchange under test on, once it has ended.
    static QStringList linesFrom(const QStringList &lines, const QString &flow) {
        QStringList tail;
        for (const QString &line : lines) {
            if (line.endsWith(" for " + flow)) {
                tail << line;
            }
        }
        return tail;
    }

    // Waits for the exchange under way to end, without polling.
    static bool waitUntilIdle(const ContentView &view, QSignalSpy &loading) {
        while (view.isLoading()) {
            if (!loading.wait(5000)) {
                return false;
            }
        }
        return true;
    }

private slots:
    void cleanupTestCase() {
        m_statusAgent.reset();
        m_statusServer.reset();
    }

    void init() {
        m_probe = std::make_shared<AgentProbe>();
        m_probe->runningApplications = {"org.example.A"};
        AlertManager::shared().hideAlert();
    }

    void bothFlows_data() {
        QTest::addColumn<bool>("report");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<Presented>("presented");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("alert");
        QTest::addColumn<int>("requests");

        const auto row = [](bool report, const char *name, const Fault &fault, const QString &line,
                            bool connected, const QString &alert = {}, int requests = 1,
                            Presented presented = Presented::trusted) {
            const QString flow = report ? "checkAgent" : "initAgent";
            QTest::newRow(qPrintable(flow + ": " + name))
                << report << fault << presented << line + " for " + flow << connected << alert
                << requests;
        };
        const auto answer = [](int status, const std::string &body) {
            return answerWith(FaultServer::answer(status, body));
        };
        const QString status200 = "Status Code: 200";
        const QString tooLarge =
            "Error: Network error - The response was too large (more than 1048576 bytes).";
        const QString timedOut = "Error: Network error - The request timed out.";
        const QString closed = "Error: Network error - Connection closed";
        const std::string overLimit((1 << 20) + 1, ' ');
        const Fault movedThenAccepted =
            redirect(307, "/tr/exam/Moved", FaultServer::answer(200, acceptedBody));

        for (const bool report : {false, true}) {
            // A report never connects; it only keeps or ends the connection.
            const QString keyRefused = report ? "The exam service ended the connection."
                                              : "The exam key was not accepted.";
            row(report, "accepted", answer(200, acceptedBody), status200, true);
            row(report, "refused",
                answer(
                    200,
                    R"({"validationErrors":[{"key":"k","value":"v"}],"hasError":true,"message":"Go away"})"),
                status200, false, "Go away");
            row(report, "refused, blank message",
                answer(200, R"({"validationErrors":[],"hasError":true,"message":" \n"})"),
                status200, false, keyRefused);
            row(report, "400", answer(400, "{}"), "Status Code: 400", false);
            row(report, "500, 2 MiB body", answer(500, std::string(2 << 20, 'x')),
                "Status Code: 500", false);
            row(report, "200, number beyond a double",
                answer(200, R"({"validationErrors":[],"hasError":false,"x":1e500})"), status200,
                report);
            row(report, "200, body over 1 MiB", answer(200, overLimit), tooLarge, false);
            row(report, "reset before the status line", dropAfter({}, true), closed, false);
            row(report, "307 to another path", movedThenAccepted, status200, true, {}, 2);
        }
        row(false, "407", answer(407, {}), "Status Code: 407", false);
        row(false, "418", answer(418, {}), "Status Code: 418", false);
        row(false, "500, reset mid-body",
            dropAfter("HTTP/1.1 500 Oops\r\nContent-Length: 100\r\n\r\n{\"a\":", true),
            "Status Code: 500", false);
        row(false, "200, not JSON", answer(200, "<html>"), status200, false);
        row(false, "200, chunked", answerWith(chunked(acceptedBody)), status200, true);
        row(false, "200, chunked over 1 MiB", answerWith(chunked(overLimit)), tooLarge, false);
        row(false, "200, length says more, then close",
            dropAfter("HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n" + acceptedBody, false),
            closed, false);
        row(false, "200, length says less",
            answerWith("HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n" + acceptedBody), status200,
            false);
        row(false, "HTTP/1.0, body until close",
            dropAfter("HTTP/1.0 200 OK\r\nConnection: close\r\n\r\n" + acceptedBody, false),
            status200, true);
        row(false, "200, dripped within the limits", drip(16, 20ms), status200, true);
        row(false, "200, dripped past the whole-exchange limit", drip(2, 200ms), timedOut, false);
        row(false, "closed before the status line", dropAfter({}, false), closed, false);
        row(false, "100 Continue, then closed", dropAfter("HTTP/1.1 100 Continue\r\n\r\n", false),
            closed, false);
        row(false, "302 to another path",
            redirect(302, "/tr/exam/Moved", FaultServer::answer(200, acceptedBody)), status200,
            true, {}, 2);
        row(false, "301 without a Location",
            answerWith("HTTP/1.1 301 Moved\r\nContent-Length: 0\r\n\r\n"), "Status Code: 301",
            false);
        row(false, "307 to plain http", redirectToPlainHttp,
            "Error: Network error - Insecure redirect", false);
        row(false, "307 to itself, again and again",
            answerWith(FaultServer::answer(307, {}, "Location: /tr/exam/InitDesktop\r\n")),
            "Error: Network error - Too many redirects", false, {}, 17);
        const Fault none = answerWith({});
        row(false, "another host's certificate", none,
            "Error: Network error - SSL handshake failed: The host name did not match any of the "
            "valid hosts for this certificate",
            false, {}, 0, Presented::otherHost);
        row(false, "an expired certificate", none,
            "Error: Network error - SSL handshake failed: The certificate has expired", false, {},
            0, Presented::expired);
        row(false, "a self-signed certificate", none,
            "Error: Network error - SSL handshake failed: The certificate is self-signed, and "
            "untrusted",
            false, {}, 0, Presented::selfSigned);
    }

    void bothFlows() {
        QFETCH(bool, report);
        QFETCH(Fault, fault);
        QFETCH(Presented, presented);
        QFETCH(QString, line);
        QFETCH(bool, connected);
        QFETCH(QString, alert);
        QFETCH(int, requests);

        const int firstFaulted = report ? 1 : 0;
        FaultServer server(presented);
        server.onRequest([&](const RawRequest &request, int index, RawConnection &connection) {
            if (index < firstFaulted) {
                connection.send(FaultServer::answer(200, acceptedBody));
            } else {
                fault(request, index - firstFaulted, connection);
            }
        });
        ContentView view(testConfig(server.baseUrl(), m_probe, 1h, limits));
        view.setExamKey(QStringLiteral("K-1"));
        QSignalSpy loading(&view, &ContentView::isLoadingChanged);
        view.submitExamKey();
        QVERIFY(waitUntilIdle(view, loading));
        if (report) {
            QVERIFY(view.isConnected());
            view.reportTick();
            QVERIFY(waitUntilIdle(view, loading));
        }

        const QString flow = report ? "checkAgent" : "initAgent";
        QCOMPARE(linesFrom(m_probe->lines, flow), QStringList{line});
        QCOMPARE(view.isConnected(), connected);
        QVERIFY(!view.isLoading());
        QCOMPARE(AlertManager::shared().isVisible() ? AlertManager::shared().messageText()
                                                    : QString(),
                 alert);
        const std::vector<RawRequest> received = server.requests();
        QCOMPARE(int(received.size()) - firstFaulted, requests);
        if (line.contains("Insecure redirect")) {
            QCOMPARE(server.connectionCount(), 1);
        }
        // Whatever was sent went out whole: a redirect that keeps the method keeps the body.
        for (std::size_t i = std::size_t(firstFaulted); i < received.size(); ++i) {
            if (received[i].requestLine.starts_with("POST")) {
                QCOMPARE(received[i].body, received[std::size_t(firstFaulted)].body);
            }
        }
    }

    void everyStatusIsAnAnswer_data() {
        QTest::addColumn<int>("status");
        for (int status = 101; status <= 599; ++status) {
            QTest::newRow(qPrintable(QString::number(status))) << status;
        }
    }

    // Whatever Qt makes of a status, the status line is what the candidate's console shows.
    void everyStatusIsAnAnswer() {
        QFETCH(int, status);
        // One service and one agent for the whole table. Each answer says it closes its
        // connection, so no status's body can leak into the next exchange and the agent never
        // sends on a connection the service has already dropped.
        if (!m_statusServer) {
            m_statusServer = std::make_unique<FaultServer>();
            m_statusProbe = std::make_shared<AgentProbe>();
            m_statusAgent = std::make_unique<ContentView>(
                testConfig(m_statusServer->baseUrl(), m_statusProbe, 1h, limits));
        }
        FaultServer &server = *m_statusServer;
        ContentView &view = *m_statusAgent;
        AgentProbe *probe = m_statusProbe.get();
        server.onRequest([status](const RawRequest &, int, RawConnection &connection) {
            connection.send(FaultServer::answer(status, acceptedBody, "Connection: close\r\n"));
            connection.close();
        });
        probe->lines.clear();
        const std::size_t before = server.requests().size();
        view.setExamKey(QStringLiteral("K-1"));
        QSignalSpy loading(&view, &ContentView::isLoadingChanged);
        view.submitExamKey();
        QVERIFY(waitUntilIdle(view, loading));
        QCOMPARE(probe->lines,
                 QStringList{QStringLiteral("Status Code: %1 for initAgent").arg(status)});
        QCOMPARE(view.isConnected(), status == 200);
        QCOMPARE(server.requests().size(), before + 1);
    }
};

QTEST_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
