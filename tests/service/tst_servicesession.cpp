#include "faultserver.h"
#include "service/requestsender.h"
#include "service/servicesession.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>
#include <optional>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

namespace {

// Sends one request on a fresh session and waits for its outcome.
class Exchange : public QObject {
public:
    explicit Exchange(SessionLimits limits = {5s, 5s})
        : session(limits, trustedTestCa) {}

    ExchangeResult run(const QString &baseUrl, const CheckAgent &body = {"K", {"a"}}) {
        const RequestSender sender(baseUrl, [](const QString &) {});
        std::optional<ExchangeResult> result;
        timer.start();
        session.send(sender.sendRequest(QStringLiteral("exam/CheckApplication"), body), this,
                     [&result](const ExchangeResult &outcome) { result = outcome; });
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 20'000)) {
            qFatal("The exchange never ended");
        }
        elapsed = timer.elapsed();
        return *result;
    }

    ServiceSession session;
    QElapsedTimer timer;
    qint64 elapsed = 0;
};

QString failureOf(const ExchangeResult &result) {
    const auto *failure = std::get_if<NetworkFailure>(&result);
    return failure != nullptr ? failure->description : QString();
}

} // namespace

class ServiceSessionTest : public QObject {
    Q_OBJECT

private slots:
    void silentServerTimesOutForInactivity() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        Exchange exchange({150ms, 10s});
        const QString failure = failureOf(
            exchange.run(QStringLiteral("https://127.0.0.1:%1/tr/").arg(silent.serverPort())));
        QCOMPARE(failure, QStringLiteral("The request timed out."));
        QVERIFY2(exchange.elapsed >= 150, qPrintable(QString::number(exchange.elapsed)));
        QVERIFY2(exchange.elapsed < 5000, qPrintable(QString::number(exchange.elapsed)));
    }

    // The limit is a size the body may have, not one it must stay under.
    void aBodyOfExactlyTheLimitIsRead() {
        FaultServer server;
        server.answerEvery(200, std::string(std::size_t{1} << 20, ' '));
        Exchange exchange;
        const ExchangeResult result = exchange.run(server.baseUrl());
        QVERIFY2(std::holds_alternative<HttpAnswer>(result), qPrintable(failureOf(result)));
        QCOMPARE(std::get<HttpAnswer>(result).body.size(), qsizetype{1} << 20);
    }

    void oneConnectionServesManyExchanges() {
        FaultServer server;
        server.answerEvery(200, R"({"validationErrors":[],"hasError":false})");
        Exchange exchange;
        for (int i = 0; i < 6; ++i) {
            QVERIFY(std::holds_alternative<HttpAnswer>(exchange.run(server.baseUrl())));
        }
        QCOMPARE(server.requestCount(), 6);
        QCOMPARE(server.connectionCount(), 1);
    }
};

QTEST_GUILESS_MAIN(ServiceSessionTest)
#include "tst_servicesession.moc"
