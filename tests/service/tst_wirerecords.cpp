// The records as they travel: the exact bytes of a request, which answers decode, the
// console form of any text, and the proxy the requests go through.

#include "service/requestsender.h"
#include "service/systemproxies.h"
#include "service/textualform.h"
#include "service/wirejson.h"

#include <QTest>
#include <algorithm>
#include <array>
#include <atomic>
#include <future>
#include <memory>

using namespace Qolvi_Desktop_Agent;
using Names = std::vector<std::string>;
Q_DECLARE_METATYPE(Names)

class WireRecordsTest : public QObject {
    Q_OBJECT

private slots:
    void requestsEncodeToExactBytes_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<Names>("names");
        QTest::addColumn<QString>("json");
        QTest::newRow("non-ASCII is raw UTF-8")
            << "Çalışma-ß-鍵" << Names{"örnek.app"}
            << R"({"accessKey":"Çalışma-ß-鍵","processNames":["örnek.app"]})";
        QTest::newRow("quotes, backslashes and controls are escaped")
            << "a\"b\\c\nd\te" << Names{"x/y"}
            << "{\"accessKey\":\"a\\\"b\\\\c\\nd\\te\",\"processNames\":[\"x/y\"]}";
    }

    void requestsEncodeToExactBytes() {
        QFETCH(QString, key);
        QFETCH(Names, names);
        QFETCH(QString, json);
        QCOMPARE(encodeCompact(toJson(InitAgent{key.toStdString(), names})), json.toStdString());
    }

    // Which answers are a response at all. (Numbers beyond a double, deep nesting and invalid
    // UTF-8 are seeds of the decoding fuzz target and rows of the fault matrix.)
    void answersDecodeOrFail_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        const std::pair<const char *, QByteArray> undecodable[] = {
            {"empty body", ""},
            {"array", "[]"},
            {"names are case-sensitive", R"({"ValidationErrors":[],"HasError":false})"},
            {"null hasError", R"({"validationErrors":[],"hasError":null})"},
            {"hasError as text", R"({"validationErrors":[],"hasError":"true"})"},
            {"object for a list", R"({"validationErrors":{},"hasError":false})"},
            {"number for a message", R"({"validationErrors":[],"hasError":true,"message":7})"},
            {"element without value", R"({"validationErrors":[{"key":"k"}],"hasError":false})"},
            {"element not an object", R"({"validationErrors":[3],"hasError":false})"},
        };
        for (const auto &[name, json] : undecodable) {
            QTest::newRow(name) << json << false;
        }
        QTest::newRow("null message")
            << QByteArray(R"({"validationErrors":[],"hasError":true,"message":null})") << true;
        QTest::newRow("unknown members at every level, any order")
            << QByteArray(R"({"d":{"x":1},"hasError":true,"validationErrors":[{"value":"v","e":[],)"
                          R"("key":"k"}],"Message":5})")
            << true;
    }

    void answersDecodeOrFail() {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        const auto decoded = decode<ServiceResponse>(std::string_view(json.data(), json.size()));
        QCOMPARE(std::holds_alternative<ServiceResponse>(decoded), decodes);
    }

    // What the console shows between quotes: escaped so that nothing can end the quotes or
    // the line, and always valid UTF-8.
    void consoleFormQuotes_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("quoted");
        const QByteArray fffd = "\xEF\xBF\xBD";
        QTest::newRow("quotes and backslash")
            << QByteArray("a\"b\\c'd") << QByteArray("\"a\\\"b\\\\c\\'d\"");
        QTest::newRow("controls") << QByteArray("a\nb\tc\rd\x1b", 9)
                                  << QByteArray("\"a\\nb\\tc\\rd\\u{1B}\\0\"");
        QTest::newRow("non-ASCII kept") << QByteArray("ключ 😀") << QByteArray("\"ключ 😀\"");
        QTest::newRow("stray continuation byte") << QByteArray("a\x80z") << "\"a" + fffd + "z\"";
        QTest::newRow("cut-off sequence before a quote")
            << QByteArray("\xE2\x82\"") << "\"" + fffd + "\\\"\"";
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << "\"" + fffd.repeated(3) + "\"";
    }

    void consoleFormQuotes() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, quoted);
        QCOMPARE(QByteArray::fromStdString(quotedText(text.toStdString())), quoted);
    }

    void aKeyThatCannotBeEncodedWritesALineAndLeavesNoBody() {
        QStringList lines;
        const RequestSender sender("https://service.example.com/tr/",
                                   [&lines](const QString &line) { lines << line; });
        const ServiceRequest built = sender.sendRequest("exam/InitDesktop", InitAgent{"\xc3", {}});
        QVERIFY(!built.body.has_value());
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.front().startsWith("Error encoding parameters: [json.exception"),
                 qPrintable(lines.front()));
    }

    // The system's proxy answer as the requests get it: asked ahead on a thread of its own, a
    // request going direct until it is in rather than waiting for a slow lookup, then kept,
    // and when old asked anew on a thread while the old answer serves.
    void requestsNeverWaitForTheLookup() {
        const QNetworkProxy direct(QNetworkProxy::NoProxy);
        const QNetworkProxy first(QNetworkProxy::HttpProxy, "first.example", 3128);
        const QNetworkProxy second(QNetworkProxy::HttpProxy, "second.example", 3128);
        // Shared with lookups that may still run when the test ends; each answers only once
        // the test lets it.
        struct Lookups {
            std::atomic<int> count = 0;
            std::array<std::promise<void>, 2> release;
            std::array<std::shared_future<void>, 2> released{release[0].get_future().share(),
                                                             release[1].get_future().share()};
        };
        const auto lookups = std::make_shared<Lookups>();
        SystemProxies proxies(
            [lookups, first, second](const QNetworkProxyQuery &) {
                const int index = std::min(lookups->count++, 1);
                if (lookups->released[index].wait_for(std::chrono::seconds(10)) !=
                    std::future_status::ready) {
                    return QList<QNetworkProxy>{};
                }
                return QList<QNetworkProxy>{index == 0 ? first : second};
            },
            std::chrono::milliseconds(0));
        const QNetworkProxyQuery query(QUrl("https://service.example/tr/exam/InitDesktop"));

        proxies.askAhead(QUrl("https://service.example/tr/"));
        QTRY_COMPARE(lookups->count.load(), 1);
        QCOMPARE(proxies.queryProxy(query), QList<QNetworkProxy>{direct});
        lookups->release[0].set_value();
        QTRY_COMPARE(proxies.queryProxy(query), QList<QNetworkProxy>{first});
        QTRY_COMPARE(lookups->count.load(), 2);
        // Old at once: asked anew, and the old answer given without waiting for the new one.
        QCOMPARE(proxies.queryProxy(query), QList<QNetworkProxy>{first});
        QCOMPARE(lookups->count.load(), 2);
        lookups->release[1].set_value();
        QTRY_COMPARE(proxies.queryProxy(query), QList<QNetworkProxy>{second});
    }
};

QTEST_GUILESS_MAIN(WireRecordsTest)
#include "tst_wirerecords.moc"
