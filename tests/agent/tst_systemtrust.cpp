// Whom the agent trusts when the system's certificate store holds the service's authority and
// the build's own list does not: run with a store of the tests' own over /etc/ssl/certs, which
// holds the tests' authority alone.

#include "agent/contentview.h"
#include "faultserver.h"
#include "testagent.h"

#include <QSslConfiguration>
#include <QTest>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(CertificateSource)

class SystemTrustTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(QSslConfiguration::systemCaCertificates(), trustedTestCa()); }

    void trust_data() {
        QTest::addColumn<bool>("systemCaCertificates");
        QTest::addColumn<CertificateSource>("extra");
        // The console line, or how it starts: Qt words certificate errors its own way.
        QTest::addColumn<QString>("line");
        const QString ok = "Status Code: 200 for initAgent";
        const CertificateSource none = [] { return QList<QSslCertificate>(); };
        // A build without an extra authority file reads an empty list.
        QTest::newRow("the system's, no extra file") << true << none << ok;
        QTest::newRow("the system's and an extra file")
            << true << CertificateSource(interceptorCa) << ok;
        QTest::newRow("the extra file alone") << false << CertificateSource(interceptorCa)
                                              << "Error: Network error - SSL handshake failed: ";
    }

    void trust() {
        QFETCH(bool, systemCaCertificates);
        QFETCH(CertificateSource, extra);
        QFETCH(QString, line);
        FaultServer server;
        const auto probe = std::make_shared<AgentProbe>();
        AgentConfig config = testConfig(server.baseUrl(), probe, 1h);
        config.trust.systemCaCertificates = systemCaCertificates;
        config.trust.extraCaCertificates = extra;
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
