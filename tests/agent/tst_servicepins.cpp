// The pinned keys against real TLS on loopback: a chain that the agent trusts passes only when
// a certificate of the chain it verified has a pinned key, whether the service sends its own
// certificate alone or with an intermediate's; anything else ends as an untrusted certificate
// ends, at the key's submission or at a report, with nothing sent after the handshake; and a
// proxy that tunnels passes, while one that opens the TLS itself is refused.

#include "connectproxy.h"
#include "testagent.h"

#include <optional>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Presented)

namespace {

const QString ok = "Status Code: 200";
const QString notPinned =
    "Error: Network error - SSL handshake failed: No key in the certificate chain is pinned for "
    "the service";
const QString root = QStringLiteral(QOLVI_TEST_PIN_ROOT);

const QString backup = QStringLiteral(QOLVI_TEST_PIN_BACKUP);

} // namespace

class ServicePinsTest : public QObject {
    Q_OBJECT

    std::shared_ptr<AgentProbe> m_probe;
    std::unique_ptr<ContentView> m_view;

    // An agent that trusts the tests' authority and, as a candidate's system may, an
    // intercepting proxy's, and pins these keys.
    void startAgent(const QString &baseUrl, const QStringList &pins) {
        m_probe = std::make_shared<AgentProbe>();
        AgentConfig config = testConfig(baseUrl, m_probe, 1h);
        config.trust.extraCaCertificates = [] { return trustedTestCa() + interceptorCa(); };
        config.trust.pins = pins;
        m_view = std::make_unique<ContentView>(config);
    }

    QString exchange(bool report) { return testing::exchange(*m_view, *m_probe, report); }

private slots:
    void cleanup() {
        m_view.reset();
        qunsetenv("https_proxy");
    }

    void pins_data() {
        QTest::addColumn<bool>("report");
        QTest::addColumn<Presented>("presented");
        QTest::addColumn<QStringList>("pins");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("proxy");

        const auto row = [](bool report, const char *name, Presented presented,
                            const QStringList &pins, const QString &line,
                            const QString &proxy = {}) {
            const QString flow = report ? "checkAgent" : "initAgent";
            QTest::newRow(qPrintable(flow + ": " + name))
                << report << presented << pins << line + " for " + flow << proxy;
        };
        row(false, "pinned root, leaf sent alone", Presented::trusted, {root, backup}, ok);
        row(false, "pinned leaf", Presented::trusted, {QOLVI_TEST_PIN_LEAF, backup}, ok);
        row(false, "pinned intermediate", Presented::trustedThroughIntermediate,
            {QOLVI_TEST_PIN_INTERMEDIATE, backup}, ok);
        row(false, "pinned root, through an intermediate", Presented::trustedThroughIntermediate,
            {backup, root}, ok);
        row(false, "nothing pinned, a trusted interceptor", Presented::interceptor, {}, ok);
        for (const bool report : {false, true}) {
            row(report, "a trusted interceptor, not pinned", Presented::interceptor, {root, backup},
                notPinned);
            row(report, "a trusted interceptor sending the pinned root",
                Presented::interceptorBesideTrustedRoot, {root, backup}, notPinned);
        }
        row(false, "only the backup pinned", Presented::trusted,
            {QOLVI_TEST_PIN_INTERCEPTOR, backup}, notPinned);
        row(false, "pinned, but self-signed", Presented::selfSigned, {QOLVI_TEST_PIN_LEAF, backup},
            "Error: Network error - SSL handshake failed: The certificate is self-signed, and "
            "untrusted");
        row(false, "through a tunnelling proxy", Presented::trusted, {root, backup}, ok,
            "tunnelling");
        row(false, "through an intercepting proxy", Presented::trusted, {root, backup}, notPinned,
            "intercepting");
        row(false, "through an intercepting proxy, nothing pinned", Presented::trusted, {}, ok,
            "intercepting");
    }

    // A report's connection is the key's: the service closes it after each answer, and
    // presents its certificates for the report's after the key's were accepted. The system's
    // proxy carries the exchanges; it reads them only where nothing is pinned.
    void pins() {
        QFETCH(bool, report);
        QFETCH(Presented, presented);
        QFETCH(QStringList, pins);
        QFETCH(QString, line);
        QFETCH(QString, proxy);
        FaultServer server(report ? Presented::trusted : presented);
        server.onRequest([&](const RawRequest &, int, RawConnection &connection) {
            connection.send(
                FaultServer::answer(200, FaultServer::acceptedBody, "Connection: close\r\n"));
            connection.close();
            server.present(presented);
        });
        std::optional<ConnectProxy> through;
        if (!proxy.isEmpty()) {
            through.emplace(proxy == "tunnelling" ? ConnectProxy::Kind::tunnelling
                                                  : ConnectProxy::Kind::intercepting);
            qputenv("https_proxy", through->url().toLatin1());
        }
        startAgent(server.baseUrl(), pins);
        QCOMPARE(exchange(report), line);
        const bool passed = line.startsWith(ok);
        QCOMPARE(m_view->isConnected(), passed);
        QVERIFY(!AlertManager::shared().isVisible());
        QCOMPARE(server.requestCount(), int(report) + int(passed));
        if (!passed && !report) {
            QCOMPARE(server.received(), QByteArray());
        }
        if (through) {
            QCOMPARE(through->tunnelCount(), 1);
            const bool readByProxy = proxy == "intercepting" && pins.isEmpty();
            QCOMPARE(through->readInClear().startsWith("POST /tr/exam/InitDesktop "), readByProxy);
            if (!readByProxy) {
                QCOMPARE(through->readInClear(), QByteArray());
            }
        }
    }

    void refusedAgain_data() {
        QTest::addColumn<bool>("offerHttp2");
        QTest::newRow("HTTP/1.1") << false;
        QTest::newRow("HTTP/2 offered") << true;
    }

    // A refused service is refused again on a new connection: the refused one carries nothing,
    // not even where HTTP/2 would keep it open for other streams. Over HTTP/2 the client's
    // preface and settings may go out, but no request: a request's body would show the key.
    void refusedAgain() {
        QFETCH(bool, offerHttp2);
        FaultServer server;
        server.present(Presented::interceptor, offerHttp2);
        server.onRequest([](const RawRequest &, int, RawConnection &) {});
        startAgent(server.baseUrl(), {root, backup});
        QCOMPARE(exchange(false), notPinned + " for initAgent");
        m_probe->lines.clear();
        QCOMPARE(exchange(false), notPinned + " for initAgent");
        QCOMPARE(server.connectionCount(), 2);
        QVERIFY2(!server.received().contains("POST") && !server.received().contains("K-1"),
                 server.received().toHex().constData());
    }
};

QTEST_MAIN(ServicePinsTest)
#include "tst_servicepins.moc"
