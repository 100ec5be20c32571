// Both exam flows against a misbehaving HTTPS service: every way an exchange can go wrong on
// the wire, with the console line, the state after and the alert each must give.

#include "agent/contentview.h"
#include "faultserver.h"
#include "testagent.h"

#include <QSignalSpy>
#include <QTest>
#include <map>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Qolvi_Desktop_Agent::testing::Presented)

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

const std::map<QString, Fault> &faults() {
    static const std::map<QString, Fault> table{
        {"accepted", answerWith(FaultServer::answer(200, acceptedBody))},
        {"refused",
         answerWith(FaultServer::answer(
             200,
             R"({"validationErrors":[{"key":"k","value":"v"}],"hasError":true,"message":"Go away"})"))},
        {"refused, blank message",
         answerWith(FaultServer::answer(
             200, R"({"validationErrors":[],"hasError":true,"message":" \n"})"))},
        {"400", answerWith(FaultServer::answer(400, "{}"))},
        {"407", answerWith(FaultServer::answer(407, {}))},
        {"418", answerWith(FaultServer::answer(418, {}))},
        {"500, 2 MiB body", answerWith(FaultServer::answer(500, std::string(2 << 20, 'x')))},
        {"500, reset mid-body",
         [](const RawRequest &, int, RawConnection &connection) {
             connection.send("HTTP/1.1 500 Oops\r\nContent-Length: 100\r\n\r\n{\"a\":");
             connection.reset();
         }},
        {"200, not JSON", answerWith(FaultServer::answer(200, "<html>"))},
        {"200, number beyond a double",
         answerWith(
             FaultServer::answer(200, R"({"validationErrors":[],"hasError":false,"x":1e500})"))},
        {"200, body over 1 MiB",
         answerWith(FaultServer::answer(200, std::string((1 << 20) + 1, ' ')))},
        {"200, chunked", answerWith(chunked(acceptedBody))},
        {"200, chunked over 1 MiB", answerWith(chunked(std::string((1 << 20) + 10, ' ')))},
        {"200, length says more, then close",
         [](const RawRequest &, int, RawConnection &connection) {
             connection.send("HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n" + acceptedBody);
             connection.close();
         }},
        {"200, length says less",
         answerWith("HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n" + acceptedBody)},
        {"HTTP/1.0, body until close",
         [](const RawRequest &, int, RawConnection &connection) {
             connection.send("HTTP/1.0 200 OK\r\nConnection: close\r\n\r\n" + acceptedBody);
             connection.close();
         }},
        {"200, dripped within the limits",
         [](const RawRequest &, int, RawConnection &connection) {
             connection.drip(FaultServer::answer(200, acceptedBody), 16, 20ms);
         }},
        {"200, dripped past the whole-exchange limit",
         [](const RawRequest &, int, RawConnection &connection) {
             connection.drip(FaultServer::answer(200, acceptedBody), 2, 200ms);
         }},
        {"reset before the status line",
         [](const RawRequest &, int, RawConnection &connection) { connection.reset(); }},
        {"closed before the status line",
         [](const RawRequest &, int, RawConnection &connection) { connection.close(); }},
        {"100 Continue, then closed",
         [](const RawRequest &, int, RawConnection &connection) {
             connection.send("HTTP/1.1 100 Continue\r\n\r\n");
             connection.close();
         }},
        {"307 to another path",
         redirect(307, "/tr/exam/Moved", FaultServer::answer(200, acceptedBody))},
        {"302 to another path",
         redirect(302, "/tr/exam/Moved", FaultServer::answer(200, acceptedBody))},
        // Back to this very service in plain text: a connection would show on its count.
        {"307 to plain http",
         [](const RawRequest &request, int, RawConnection &connection) {
             const std::size_t host = request.head.find("\r\nHost: ") + 8;
             const std::string authority =
                 request.head.substr(host, request.head.find("\r\n", host) - host);
             connection.send(FaultServer::answer(
                 307, {}, "Location: http://" + authority + "/tr/exam/Moved\r\n"));
         }},
        {"307 to itself, again and again",
         answerWith(FaultServer::answer(307, {}, "Location: /tr/exam/InitDesktop\r\n"))},
        {"301 without a Location", answerWith("HTTP/1.1 301 Moved\r\nContent-Length: 0\r\n\r\n")},
    };
    return table;
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
        QTest::addColumn<QString>("fault");
        QTest::addColumn<Presented>("presented");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("alert");
        QTest::addColumn<int>("requests");

        const auto row = [](bool report, const QString &fault, const QString &line, bool connected,
                            const QString &alert, int requests = 1,
                            Presented presented = Presented::trusted) {
            const QString flow = report ? "checkAgent" : "initAgent";
            QTest::newRow(qPrintable(flow + ": " + fault))
                << report << fault << presented << line + " for " + flow << connected << alert
                << requests;
        };
        const QString status200 = "Status Code: 200";
        const QString tooLarge =
            "Error: Network error - The response was too large (more than 1048576 bytes).";
        const QString timedOut = "Error: Network error - The request timed out.";
        const QString closed = "Error: Network error - Connection closed";

        for (const bool report : {false, true}) {
            // A report never connects; it only keeps or ends the connection.
            const QString keyRefused = report ? "The exam service ended the connection."
                                              : "The exam key was not accepted.";
            row(report, "accepted", status200, true, {});
            row(report, "refused", status200, false, "Go away");
            row(report, "refused, blank message", status200, false, keyRefused);
            row(report, "400", "Status Code: 400", false, {});
            row(report, "500, 2 MiB body", "Status Code: 500", false, {});
            row(report, "200, number beyond a double", status200, report, {});
            row(report, "200, body over 1 MiB", tooLarge, false, {});
            row(report, "reset before the status line", closed, false, {});
            row(report, "307 to another path", status200, true, {}, 2);
        }
        row(false, "407", "Status Code: 407", false, {});
        row(false, "418", "Status Code: 418", false, {});
        row(false, "500, reset mid-body", "Status Code: 500", false, {});
        row(false, "200, not JSON", status200, false, {});
        row(false, "200, chunked", status200, true, {});
        row(false, "200, chunked over 1 MiB", tooLarge, false, {});
        row(false, "200, length says more, then close", closed, false, {});
        row(false, "200, length says less", status200, false, {});
        row(false, "HTTP/1.0, body until close", status200, true, {});
        row(false, "200, dripped within the limits", status200, true, {});
        row(false, "200, dripped past the whole-exchange limit", timedOut, false, {});
        row(false, "closed before the status line", closed, false, {});
        row(false, "100 Continue, then closed", closed, false, {});
        row(false, "302 to another path", status200, true, {}, 2);
        row(false, "301 without a Location", "Status Code: 301", false, {});
        row(false, "307 to plain http", "Error: Network error - Insecure redirect", false, {});
        row(false, "307 to itself, again and again", "Error: Network error - Too many redirects",
            false, {}, 17);
        row(false, "another host's certificate",
            "Error: Network error - SSL handshake failed: The host name did not match any of the "
            "valid hosts for this certificate",
            false, {}, 0, Presented::otherHost);
        row(false, "an expired certificate",
            "Error: Network error - SSL handshake failed: The certificate has expired", false, {},
            0, Presented::expired);
        row(false, "a self-signed certificate",
            "Error: Network error - SSL handshake failed: The certificate is self-signed, and "
            "untrusted",
            false, {}, 0, Presented::selfSigned);
    }

    void bothFlows() {
        QFETCH(bool, report);
        QFETCH(QString, fault);
        QFETCH(Presented, presented);
        QFETCH(QString, line);
        QFETCH(bool, connected);
        QFETCH(QString, alert);
        QFETCH(int, requests);

        const auto found = faults().find(fault);
        const Fault script = found != faults().end() ? found->second : answerWith({});
        const int firstFaulted = report ? 1 : 0;
        FaultServer server(presented);
        server.onRequest([&](const RawRequest &request, int index, RawConnection &connection) {
            if (index < firstFaulted) {
                connection.send(FaultServer::answer(200, acceptedBody));
            } else {
                script(request, index - firstFaulted, connection);
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
        if (fault == "307 to plain http") {
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
