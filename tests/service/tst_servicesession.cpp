#include "service/requestsender.h"
#include "service/servicesession.h"
#include "testserver.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <optional>
#include <thread>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

namespace {

// Sends one request on a fresh session and waits for its outcome.
class Exchange : public QObject {
public:
    explicit Exchange(SessionLimits limits = {5s, 5s, qint64{1} << 20})
        : session(limits, trustedTestCa()) {}

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
    void productLimits() {
        const SessionLimits product;
        QCOMPARE(product.inactivity, 45s);
        QCOMPARE(product.wholeExchange, 45s);
        QCOMPARE(product.maxBodyBytes, 1024 * 1024);
    }

    void errorStatusesAreAnswersNotFailures_data() {
        QTest::addColumn<int>("status");
        QTest::newRow("201") << 201;
        QTest::newRow("401") << 401;
        QTest::newRow("404") << 404;
        QTest::newRow("500") << 500;
        QTest::newRow("503") << 503;
    }

    void errorStatusesAreAnswersNotFailures() {
        QFETCH(int, status);
        TestServer server;
        server.answer(status, "{}");
        Exchange exchange;
        const ExchangeResult result = exchange.run(server.baseUrl());
        const auto *answer = std::get_if<HttpAnswer>(&result);
        QVERIFY2(answer != nullptr, qPrintable(failureOf(result)));
        QCOMPARE(answer->statusCode, status);
    }

    void silentServerTimesOutForInactivity() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        Exchange exchange({150ms, 10s, qint64{1} << 20});
        const QString failure = failureOf(
            exchange.run(QStringLiteral("https://127.0.0.1:%1/tr/").arg(silent.serverPort())));
        QCOMPARE(failure, QStringLiteral("The request timed out."));
        QVERIFY2(exchange.elapsed >= 150, qPrintable(QString::number(exchange.elapsed)));
        QVERIFY2(exchange.elapsed < 5000, qPrintable(QString::number(exchange.elapsed)));
    }

    void tricklingServerTimesOutForTheWholeExchange() {
        TestServer server;
        server.onPost([&server](const httplib::Request &, httplib::Response &response) {
            response.set_chunked_content_provider("application/json",
                                                  [&server](size_t, httplib::DataSink &sink) {
                                                      if (server.stopping()) {
                                                          return false;
                                                      }
                                                      std::this_thread::sleep_for(20ms);
                                                      return sink.write(" ", 1);
                                                  });
        });
        Exchange exchange({10s, 300ms, qint64{1} << 20});
        QCOMPARE(failureOf(exchange.run(server.baseUrl())),
                 QStringLiteral("The request timed out."));
        QVERIFY2(exchange.elapsed >= 300, qPrintable(QString::number(exchange.elapsed)));
        QVERIFY2(exchange.elapsed < 5000, qPrintable(QString::number(exchange.elapsed)));
    }

    void oversizedBodiesAreCutOff_data() {
        QTest::addColumn<bool>("chunked");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("announced, just over") << false << (1 << 20) + 1 << false;
        QTest::newRow("announced, exactly the limit") << false << (1 << 20) << true;
        QTest::newRow("chunked, far over") << true << 8 << false; // size in MiB
    }

    void oversizedBodiesAreCutOff() {
        QFETCH(bool, chunked);
        QFETCH(int, size);
        QFETCH(bool, accepted);
        TestServer server;
        if (chunked) {
            server.onPost([size](const httplib::Request &, httplib::Response &response) {
                auto sent = std::make_shared<int>(0);
                response.set_chunked_content_provider(
                    "application/json", [size, sent](size_t, httplib::DataSink &sink) {
                        if (*sent >= size) {
                            sink.done();
                            return true;
                        }
                        ++*sent;
                        const std::string mebibyte(1 << 20, 'x');
                        return sink.write(mebibyte.data(), mebibyte.size());
                    });
            });
        } else {
            server.answer(200, std::string(std::size_t(size), ' '));
        }
        Exchange exchange;
        const ExchangeResult result = exchange.run(server.baseUrl());
        if (accepted) {
            QCOMPARE(std::get<HttpAnswer>(result).body.size(), size);
        } else {
            QVERIFY2(failureOf(result).startsWith("The response was too large"),
                     qPrintable(failureOf(result)));
        }
    }

    void oneConnectionServesManyExchanges() {
        TestServer server;
        server.answer(200, R"({"validationErrors":[],"hasError":false})");
        Exchange exchange;
        for (int i = 0; i < 6; ++i) {
            QVERIFY(std::holds_alternative<HttpAnswer>(exchange.run(server.baseUrl())));
        }
        const std::vector<RecordedRequest> requests = server.requests();
        for (const RecordedRequest &request : requests) {
            QCOMPARE(request.remotePort, requests.front().remotePort);
        }
    }
};

QTEST_GUILESS_MAIN(ServiceSessionTest)
#include "tst_servicesession.moc"
