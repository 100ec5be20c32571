// The records as they travel: the exact bytes of a request, every way an answer decodes or
// fails to, and the console form of any text.

#include "service/textualform.h"
#include "service/wirejson.h"

#include <QTest>

using namespace Qolvi_Desktop_Agent;

Q_DECLARE_METATYPE(Qolvi_Desktop_Agent::DecodeErrorKind)

class WireRecordsTest : public QObject {
    Q_OBJECT

private slots:
    void requestsEncodeToExactBytes_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("json");
        QTest::newRow("two applications") << "K-1" << QStringList{"a.A", "b.B"}
                                          << R"({"accessKey":"K-1","processNames":["a.A","b.B"]})";
        QTest::newRow("none, blank key kept")
            << "   " << QStringList{} << R"({"accessKey":"   ","processNames":[]})";
        QTest::newRow("non-ASCII is raw UTF-8")
            << "Çalışma-ß-鍵" << QStringList{"örnek.app"}
            << R"({"accessKey":"Çalışma-ß-鍵","processNames":["örnek.app"]})";
        QTest::newRow("quotes, backslashes and controls are escaped")
            << "a\"b\\c\nd\te" << QStringList{"x/y"}
            << "{\"accessKey\":\"a\\\"b\\\\c\\nd\\te\",\"processNames\":[\"x/y\"]}";
    }

    void requestsEncodeToExactBytes() {
        QFETCH(QString, key);
        QFETCH(QStringList, names);
        QFETCH(QString, json);
        std::vector<std::string> processNames;
        for (const QString &name : names) {
            processNames.push_back(name.toStdString());
        }
        QCOMPARE(encodeCompact(toJson(InitAgent{key.toStdString(), processNames})),
                 json.toStdString());
        QCOMPARE(encodeCompact(toJson(CheckAgent{key.toStdString(), processNames})),
                 json.toStdString());
    }

    void responsesDecode_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("hasError");
        QTest::addColumn<QString>("message"); // "-" for none
        QTest::addColumn<int>("validationErrors");
        const auto row = [](const char *name, const QByteArray &json, bool hasError,
                            const QString &message, int errors) {
            QTest::newRow(name) << json << hasError << message << errors;
        };
        row("accepted", R"({"validationErrors":[],"hasError":false})", false, "-", 0);
        row("null message is none", R"({"validationErrors":[],"hasError":false,"message":null})",
            false, "-", 0);
        row("empty message is one", R"({"validationErrors":[],"hasError":false,"message":""})",
            false, "", 0);
        row("any order",
            R"({"message":"M","hasError":true,"validationErrors":[{"value":"v","key":"k"}]})", true,
            "M", 1);
        row("unknown members at every level are ignored",
            R"({"d":{"x":1},"validationErrors":[{"key":"k","value":"v","e":[1]}],"hasError":false,"Message":5})",
            false, "-", 1);
        row("non-ASCII message",
            R"({"validationErrors":[],"hasError":true,"message":"Geçersiz ✗"})", true, "Geçersiz ✗",
            0);
    }

    void responsesDecode() {
        QFETCH(QByteArray, json);
        QFETCH(bool, hasError);
        QFETCH(QString, message);
        QFETCH(int, validationErrors);
        const auto decoded = decode<ServiceResponse>(json.toStdString());
        QVERIFY(std::holds_alternative<ServiceResponse>(decoded));
        const auto &response = std::get<ServiceResponse>(decoded);
        QCOMPARE(response.HasError, hasError);
        QCOMPARE(response.Message ? QString::fromStdString(*response.Message) : "-", message);
        QCOMPARE(int(response.ValidationErrors.size()), validationErrors);
    }

    // Decoding is total: whatever the bytes, a record or an error, never an exception.
    void badResponsesFailWithTheirKind_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<DecodeErrorKind>("kind");
        QTest::addColumn<QString>("codingPath");
        using K = DecodeErrorKind;
        const auto row = [](const char *name, const QByteArray &json, K kind,
                            const QString &path = {}) {
            QTest::newRow(name) << json << kind << path;
        };
        row("not JSON", "<html>", K::invalidJson);
        row("empty body", "", K::invalidJson);
        row("invalid UTF-8", "{\"message\":\"\xff\"}", K::invalidJson);
        row("beyond a double, ignored member",
            R"({"validationErrors":[],"hasError":false,"x":1e500})", K::invalidJson);
        row("beyond a double, top level", "9E900", K::invalidJson);
        row("negative beyond a double", R"({"validationErrors":[{"key":-1e309}],"hasError":true})",
            K::invalidJson);
        row("400-digit integer", "{\"n\":" + QByteArray(400, '9') + "}", K::invalidJson);
        row("deep nesting", QByteArray(100000, '['), K::invalidJson);
        row("array", "[]", K::notAnObject);
        row("no validationErrors", R"({"hasError":false})", K::keyNotFound, "validationErrors");
        row("no hasError", R"({"validationErrors":[]})", K::keyNotFound, "hasError");
        row("names are case-sensitive", R"({"ValidationErrors":[],"HasError":false})",
            K::keyNotFound, "validationErrors");
        row("null hasError", R"({"validationErrors":[],"hasError":null})", K::valueNotFound,
            "hasError");
        row("hasError as text", R"({"validationErrors":[],"hasError":"true"})", K::typeMismatch,
            "hasError");
        row("object for a list", R"({"validationErrors":{},"hasError":false})", K::typeMismatch,
            "validationErrors");
        row("number for a message", R"({"validationErrors":[],"hasError":true,"message":7})",
            K::typeMismatch, "message");
        row("element without value", R"({"validationErrors":[{"key":"k"}],"hasError":false})",
            K::badElement, "validationErrors[0].value");
        row("element not an object",
            R"({"validationErrors":[{"key":"k","value":"v"},3],"hasError":false})", K::badElement,
            "validationErrors[1]");
    }

    void badResponsesFailWithTheirKind() {
        QFETCH(QByteArray, json);
        QFETCH(DecodeErrorKind, kind);
        QFETCH(QString, codingPath);
        const auto decoded = decode<ServiceResponse>(std::string_view(json.data(), json.size()));
        QVERIFY(std::holds_alternative<DecodeError>(decoded));
        QCOMPARE(std::get<DecodeError>(decoded).kind, kind);
        QCOMPARE(QString::fromStdString(std::get<DecodeError>(decoded).codingPath), codingPath);
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
        QTest::newRow("lead byte eating a newline")
            << QByteArray("\xC3\n") << "\"" + fffd + "\\n\"";
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << "\"" + fffd + fffd + "\"";
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << "\"" + fffd.repeated(3) + "\"";
        QTest::newRow("beyond U+10FFFF")
            << QByteArray("\xF4\x90\x80\x80") << "\"" + fffd.repeated(4) + "\"";
    }

    void consoleFormQuotes() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, quoted);
        QCOMPARE(QByteArray::fromStdString(quotedText(text.toStdString())), quoted);
        QCOMPARE(textualForm(CheckAgent{"K", {}}),
                 R"(CheckAgent(AccessKey: "K", ProcessNames: []))");
    }
};

QTEST_APPLESS_MAIN(WireRecordsTest)
#include "tst_wirerecords.moc"
