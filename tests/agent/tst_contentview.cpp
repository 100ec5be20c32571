#include "agent/contentview.h"
#include "testagent.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

class ContentViewTest : public QObject {
    Q_OBJECT

private slots:
    void productConstants() {
        const AgentConfig product = AgentConfig::product();
        QVERIFY(product.baseApiURL.startsWith("https://"));
        QVERIFY(product.baseApiURL.endsWith("/tr/"));
        QVERIFY(product.examSiteURL.startsWith("https://"));
        QVERIFY(!product.examSiteURL.endsWith("/"));
        QCOMPARE(QUrl(product.examSiteURL).path(), QString());
        QCOMPARE(product.reportInterval, 3s);
        QCOMPARE(product.limits.inactivity, 45s);
        QCOMPARE(product.limits.wholeExchange, 45s);
        QVERIFY(product.runningApplicationIds);
        // This build trusts the local certificate authority made for the local exam service.
        QVERIFY(!product.extraCaCertificates().isEmpty());
    }

    void initialValues() {
        const ContentView view;
        QCOMPARE(view.examKey(), QString());
        QVERIFY(!view.isLoading());
        QVERIFY(!view.isConnected());
        QVERIFY(!view.isHovered());
        QVERIFY(!view.HasError());
        QCOMPARE(view.Token(), QString());
        QVERIFY(view.ValidationErrors().empty());
        QCOMPARE(view.Message(), std::optional(QString()));
        QCOMPARE(view.timer(), nullptr);
        QVERIFY(view.baseApiURL().endsWith("/tr/"));
        QCOMPARE(view.alertManager(), &AlertManager::shared());
        QVERIFY(view.USession() != nullptr);
        QCOMPARE(view.USession()->limits().inactivity, 45s);
    }

    void eachStateHasItsOwnSession() {
        const ContentView first;
        const ContentView second;
        QVERIFY(first.USession() != second.USession());
        QVERIFY(first.USession()->manager() != second.USession()->manager());
        QCOMPARE(first.alertManager(), second.alertManager());
    }

    void examKeyIsTwoWayAndSignalsChanges() {
        ContentView view(
            testConfig(QStringLiteral("https://127.0.0.1:1/tr/"), std::make_shared<AgentProbe>()));
        QSignalSpy changed(&view, &ContentView::examKeyChanged);
        QVERIFY(view.setProperty("examKey", QStringLiteral("  K-1 ")));
        QCOMPARE(view.examKey(), QStringLiteral("  K-1 "));
        QCOMPARE(view.property("examKey").toString(), QStringLiteral("  K-1 "));
        QCOMPARE(changed.count(), 1);
        view.setExamKey(QStringLiteral("  K-1 "));
        QCOMPARE(changed.count(), 1);
    }
};

QTEST_GUILESS_MAIN(ContentViewTest)
#include "tst_contentview.moc"
