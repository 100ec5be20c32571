// In one table, every way an exchange can go wrong on the wire, and what each must give.
#include "scriptedservicetest.h"

Q_DECLARE_METATYPE(Presented)
Q_DECLARE_METATYPE(FaultServer::Script)

namespace {

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

} // namespace

class ExchangeFaultsTest : public ScriptedServiceTest {
    Q_OBJECT

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

QTEST_MAIN(ExchangeFaultsTest)
#include "tst_exchangefaults.moc"
