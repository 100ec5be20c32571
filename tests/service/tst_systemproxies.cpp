// The system's proxy answer as the requests get it: asked once, kept, and when old asked anew
// on a thread of its own while the old answer serves, so that a slow lookup never holds a
// request up.

#include "service/systemproxies.h"

#include <QTest>
#include <atomic>
#include <future>
#include <memory>

using namespace Qolvi_Desktop_Agent;

class SystemProxiesTest : public QObject {
    Q_OBJECT

private slots:
    void oldAnswerServesWhileAskedAnew() {
        const QNetworkProxy first(QNetworkProxy::HttpProxy, QStringLiteral("first.example"), 3128);
        const QNetworkProxy second(QNetworkProxy::HttpProxy, QStringLiteral("second.example"),
                                   3128);
        // Shared with lookups that may still run when the test ends.
        struct Lookups {
            std::atomic<int> count = 0;
            std::promise<void> release;
            std::shared_future<void> released = release.get_future().share();
        };
        const auto lookups = std::make_shared<Lookups>();
        // The first lookup answers at once; every later one only once the test lets it.
        SystemProxies proxies(
            [lookups, first, second](const QNetworkProxyQuery &) {
                if (lookups->count++ == 0) {
                    return QList<QNetworkProxy>{first};
                }
                if (lookups->released.wait_for(std::chrono::seconds(10)) !=
                    std::future_status::ready) {
                    return QList<QNetworkProxy>{};
                }
                return QList<QNetworkProxy>{second};
            },
            std::chrono::milliseconds(0));
        const QNetworkProxyQuery query(QUrl(QStringLiteral("https://service.example/tr/")));

        QCOMPARE(proxies.queryProxy(query), QList<QNetworkProxy>{first});
        // Old at once: asked anew, and the old answer given without waiting for the new one.
        QCOMPARE(proxies.queryProxy(query), QList<QNetworkProxy>{first});
        QTRY_COMPARE(lookups->count.load(), 2);
        QCOMPARE(proxies.queryProxy(query), QList<QNetworkProxy>{first});
        QCOMPARE(lookups->count.load(), 2);
        lookups->release.set_value();
        QTRY_COMPARE(proxies.queryProxy(query), QList<QNetworkProxy>{second});
    }
};

QTEST_GUILESS_MAIN(SystemProxiesTest)
#include "tst_systemproxies.moc"
