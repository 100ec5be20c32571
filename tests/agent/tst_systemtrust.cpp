// Whom the agent trusts when the system's certificate store holds the service's authority and
// the build's own list does not: run with a store of the tests' own over /etc/ssl/certs, which
// holds the tests' authority alone.

#include "testagent.h"

#include <QSslConfiguration>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(CertificateSource)
Q_DECLARE_METATYPE(Presented)

class SystemTrustTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(QSslConfiguration::systemCaCertificates(), trustedTestCa()); }

    void trust_data() {
        QTest::addColumn<bool>("systemCaCertificates");
        QTest::addColumn<CertificateSource>("extra");
        QTest::addColumn<Presented>("presented");
        // The console line, or how it starts: Qt words certificate errors its own way. A chain
        // the handshake refuses is never left to the pins to refuse.
        QTest::addColumn<QString>("line");
        const QString ok = "Status Code: 200 for initAgent";
        const QString refused = "Error: Network error - SSL handshake failed: ";
        const CertificateSource none = [] { return QList<QSslCertificate>(); };
        const CertificateSource interceptor = interceptorCa;
        // A build without an extra authority file reads an empty list.
        QTest::newRow("the system's, no extra file") << true << none << Presented::trusted << ok;
        QTest::newRow("the system's and an extra file")
            << true << interceptor << Presented::trusted << ok;
        QTest::newRow("the system's and an extra file, which signed the service's")
            << true << interceptor << Presented::interceptor << ok;
        QTest::newRow("the system's and an extra file, neither signed the service's")
            << true << interceptor << Presented::selfSigned
            << refused + "The certificate is self-signed, and untrusted";
        QTest::newRow("the system's and an extra file, which signed it for another host")
            << true << interceptor << Presented::interceptorForOtherHost
            << refused + "The host name did not match any of the valid hosts for this certificate";
        QTest::newRow("the extra file alone")
            << false << interceptor << Presented::trusted << refused;
    }

    void trust() {
        QFETCH(bool, systemCaCertificates);
        QFETCH(CertificateSource, extra);
        QFETCH(Presented, presented);
        QFETCH(QString, line);
        FaultServer server(presented);
        const auto probe = std::make_shared<AgentProbe>();
        AgentConfig config = testConfig(server.baseUrl(), probe, 1h);
        config.trust.systemCaCertificates = systemCaCertificates;
        config.trust.extraCaCertificates = extra;
        // The extra file's authority is a provider's own, whose key it pins as well.
        config.trust.pins.push_back(QStringLiteral(QOLVI_TEST_PIN_INTERCEPTOR));
        ContentView view(config);
        const QString written = exchange(view, *probe, false);
        QVERIFY2(written.startsWith(line) && written.endsWith(" for initAgent") &&
                     !written.contains('\n'),
                 qPrintable(written));
        QCOMPARE(view.isConnected(), line.startsWith("Status Code: 200"));
    }
};

QTEST_MAIN(SystemTrustTest)
#include "tst_systemtrust.moc"
