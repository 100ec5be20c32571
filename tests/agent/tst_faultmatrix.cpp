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

Q_DECLARE_METATYPE(Presented)
Q_DECLARE_METATYPE(FaultServer::Script)

namespace {

const std::string accepted = R"({"validationErrors":[],"hasError":false})";
// Short time limits (inactivity, whole exchange); the body limit is the product's.
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

FaultServer::Script redirect(int status, std::string then) {
    return [=](const RawRequest &, int index, RawConnection &connection) {
        connection.send(index == 0 ? FaultServer::answer(status, {}, "Location: /tr/exam/Moved\r\n")
                                   : then);
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

bool waitUntilIdle(const ContentView &view) {
    QSignalSpy loading(&view, &ContentView::isLoadingChanged);
    while (view.isLoading() && loading.wait(5000)) {
    }
    return !view.isLoading();
}

} // namespace

class FaultMatrixTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FaultServer> m_server;
    std::shared_ptr<AgentProbe> m_probe = std::make_shared<AgentProbe>();
    std::unique_ptr<ContentView> m_view;

private slots:
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
            row(report, "400", answer(400, "{}"), "Status Code: 400", false);
            row(report, "500, 2 MiB body", answer(500, std::string(2 << 20, 'x')),
                "Status Code: 500", false);
            row(report, "200, number beyond a double",
                answer(200, R"({"validationErrors":[],"hasError":false,"x":1e500})"), ok, report);
            row(report, "200, body over 1 MiB", answer(200, overLimit), tooLarge, false);
            row(report, "reset before the status line", answerWith({}, true, true), closed, false);
            row(report, "307 to another path", redirect(307, FaultServer::answer(200, accepted)),
                ok, true, {}, 2);
        }
        row(false, "407", answer(407, {}), "Status Code: 407", false);
        row(false, "418", answer(418, {}), "Status Code: 418", false);
        row(false, "500, reset mid-body",
            answerWith("HTTP/1.1 500 Oops\r\nContent-Length: 100\r\n\r\n{\"a\":", true, true),
            "Status Code: 500", false);
        row(false, "200, not JSON", answer(200, "<html>"), ok, false);
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
        row(false, "100 Continue, then closed", answerWith("HTTP/1.1 100 Continue\r\n\r\n", true),
            closed, false);
        row(false, "302 to another path", redirect(302, FaultServer::answer(200, accepted)), ok,
            true, {}, 2);
        row(false, "301 without a Location",
            answerWith("HTTP/1.1 301 Moved\r\nContent-Length: 0\r\n\r\n"), "Status Code: 301",
            false);
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

        AlertManager::shared().hideAlert();
        const int firstFaulted = report ? 1 : 0;
        FaultServer server(presented);
        server.onRequest([&](const RawRequest &request, int index, RawConnection &connection) {
            if (index < firstFaulted) {
                connection.send(FaultServer::answer(200, accepted));
            } else {
                fault(request, index - firstFaulted, connection);
            }
        });
        const auto probe = std::make_shared<AgentProbe>();
        probe->runningApplications = {"org.example.A"};
        ContentView view(testConfig(server.baseUrl(), probe, 1h, limits));
        view.setExamKey(QStringLiteral("K-1"));
        view.submitExamKey();
        QVERIFY(waitUntilIdle(view));
        if (report) {
            QVERIFY(view.isConnected());
            probe->lines.clear();
            view.reportTick();
            QVERIFY(waitUntilIdle(view));
        }

        QCOMPARE(probe->lines.filter(" for ").join('\n'), line);
        QCOMPARE(view.isConnected(), connected);
        QCOMPARE(AlertManager::shared().isVisible() ? AlertManager::shared().messageText()
                                                    : QString(),
                 alert);
        QCOMPARE(server.requestCount() - firstFaulted, requests);
        if (line.contains("Insecure redirect")) {
            QCOMPARE(server.connectionCount(), 1);
        }
        // Whatever was sent went out whole: a redirect that keeps the method keeps the body.
        for (const RawRequest &received : server.requests()) {
            if (received.requestLine.starts_with("POST")) {
                QCOMPARE(received.body, server.requests().front().body);
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
    // One service and one agent serve the whole table; each answer closes its connection, so
    // no status's body can leak into the next exchange.
    void everyStatusIsAnAnswer() {
        QFETCH(int, status);
        if (!m_server) {
            m_server = std::make_unique<FaultServer>();
            m_view =
                std::make_unique<ContentView>(testConfig(m_server->baseUrl(), m_probe, 1h, limits));
        }
        FaultServer &server = *m_server;
        ContentView &view = *m_view;
        server.onRequest([status](const RawRequest &, int, RawConnection &connection) {
            connection.send(FaultServer::answer(status, accepted, "Connection: close\r\n"));
            connection.close();
        });
        m_probe->lines.clear();
        const int before = server.requestCount();
        view.setExamKey(QStringLiteral("K-1"));
        view.submitExamKey();
        QVERIFY(waitUntilIdle(view));
        QCOMPARE(m_probe->lines,
                 QStringList{QStringLiteral("Status Code: %1 for initAgent").arg(status)});
        QCOMPARE(view.isConnected(), status == 200);
        QCOMPARE(server.requestCount(), before + 1);
    }
};

QTEST_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
