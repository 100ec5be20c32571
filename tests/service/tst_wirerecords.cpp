#include "service/textualform.h"
#include "service/wirejson.h"

#include <QTest>

using namespace Qolvi_Desktop_Agent;

Q_DECLARE_METATYPE(Qolvi_Desktop_Agent::DecodeErrorKind)

class WireRecordsTest : public QObject {
    Q_OBJECT

private slots:
    void requestRecordsEncodeToExactBytes_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("processNames");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("two applications")
            << "K-1" << QStringList{"org.example.A", "org.example.B"}
            << QByteArray(
                   R"({"accessKey":"K-1","processNames":["org.example.A","org.example.B"]})");
        QTest::newRow("no application")
            << "K-1" << QStringList{} << QByteArray(R"({"accessKey":"K-1","processNames":[]})");
        QTest::newRow("empty key")
            << "" << QStringList{"a"} << QByteArray(R"({"accessKey":"","processNames":["a"]})");
        QTest::newRow("non-ASCII is raw UTF-8")
            << "Çalışma-ß-鍵" << QStringList{"örnek.app"}
            << QString(R"({"accessKey":"Çalışma-ß-鍵","processNames":["örnek.app"]})").toUtf8();
        QTest::newRow("quotes, backslashes and controls are escaped")
            << "a\"b\\c\nd\te" << QStringList{"x/y"}
            << QByteArray("{\"accessKey\":\"a\\\"b\\\\c\\nd\\te\",\"processNames\":[\"x/y\"]}");
        QTest::newRow("spaces are kept")
            << "   " << QStringList{} << QByteArray(R"({"accessKey":"   ","processNames":[]})");
    }

    void requestRecordsEncodeToExactBytes() {
        QFETCH(QString, key);
        QFETCH(QStringList, processNames);
        QFETCH(QByteArray, expected);

        std::vector<std::string> names;
        for (const QString &name : processNames) {
            names.push_back(name.toStdString());
        }
        const InitAgent init{key.toStdString(), names};
        const CheckAgent check{key.toStdString(), names};
        QCOMPARE(QByteArray::fromStdString(encodeCompact(toJson(init))), expected);
        QCOMPARE(QByteArray::fromStdString(encodeCompact(toJson(check))), expected);

        // What was written reads back as the same record.
        const auto decodedInit = decode<InitAgent>(encodeCompact(toJson(init)));
        QVERIFY(std::holds_alternative<InitAgent>(decodedInit));
        QVERIFY(std::get<InitAgent>(decodedInit) == init);
        const auto decodedCheck = decode<CheckAgent>(encodeCompact(toJson(check)));
        QVERIFY(std::holds_alternative<CheckAgent>(decodedCheck));
        QVERIFY(std::get<CheckAgent>(decodedCheck) == check);
    }

    void responseEncodesMessageOnlyWhenPresent() {
        ServiceResponse accepted;
        QCOMPARE(encodeCompact(toJson(accepted)),
                 std::string(R"({"validationErrors":[],"hasError":false})"));

        const ServiceResponse refused{{{"accessKey", "Bad key"}}, true, "Bad key"};
        const std::string json = encodeCompact(toJson(refused));
        QCOMPARE(
            json,
            std::string(
                R"({"validationErrors":[{"key":"accessKey","value":"Bad key"}],"hasError":true,"message":"Bad key"})"));
        const auto back = decode<ServiceResponse>(json);
        QVERIFY(std::holds_alternative<ServiceResponse>(back));
        QVERIFY(std::get<ServiceResponse>(back) == refused);

        const ServiceResponse emptyMessage{{}, false, ""};
        QCOMPARE(encodeCompact(toJson(emptyMessage)),
                 std::string(R"({"validationErrors":[],"hasError":false,"message":""})"));
    }

    void responsesDecode_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("hasError");
        QTest::addColumn<bool>("hasMessage");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("validationErrorCount");

        QTest::newRow("accepted, no message")
            << QByteArray(R"({"validationErrors":[],"hasError":false})") << false << false << ""
            << 0;
        QTest::newRow("null message is no message")
            << QByteArray(R"({"validationErrors":[],"hasError":false,"message":null})") << false
            << false << "" << 0;
        QTest::newRow("empty message is a message")
            << QByteArray(R"({"validationErrors":[],"hasError":false,"message":""})") << false
            << true << "" << 0;
        QTest::newRow("members in any order")
            << QByteArray(
                   R"({"message":"M","hasError":true,"validationErrors":[{"value":"v","key":"k"}]})")
            << true << true << "M" << 1;
        QTest::newRow("unknown members at every level are ignored")
            << QByteArray(
                   R"({"data":{"x":1},"validationErrors":[{"key":"k","value":"v","extra":[1]}],"hasError":false,"Message":5})")
            << false << false << "" << 1;
        QTest::newRow("non-ASCII message")
            << QString(R"({"validationErrors":[],"hasError":true,"message":"Anahtar geçersiz ✗"})")
                   .toUtf8()
            << true << true << "Anahtar geçersiz ✗" << 0;
    }

    void responsesDecode() {
        QFETCH(QByteArray, json);
        QFETCH(bool, hasError);
        QFETCH(bool, hasMessage);
        QFETCH(QString, message);
        QFETCH(int, validationErrorCount);

        const auto decoded = decode<ServiceResponse>(json.toStdString());
        QVERIFY2(std::holds_alternative<ServiceResponse>(decoded),
                 std::holds_alternative<DecodeError>(decoded)
                     ? std::get<DecodeError>(decoded).description.c_str()
                     : "");
        const auto &response = std::get<ServiceResponse>(decoded);
        QCOMPARE(response.HasError, hasError);
        QCOMPARE(response.Message.has_value(), hasMessage);
        if (hasMessage) {
            QCOMPARE(QString::fromStdString(*response.Message), message);
        }
        QCOMPARE(int(response.ValidationErrors.size()), validationErrorCount);
    }

    void badResponsesFailWithTheirKind_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<DecodeErrorKind>("kind");
        QTest::addColumn<QString>("codingPath");

        using K = DecodeErrorKind;
        QTest::newRow("not JSON") << QByteArray("<html>") << K::invalidJson << "";
        QTest::newRow("empty body") << QByteArray("") << K::invalidJson << "";
        QTest::newRow("invalid UTF-8")
            << QByteArray("{\"message\":\"\xff\"}") << K::invalidJson << "";
        QTest::newRow("number beyond a double, in an ignored member")
            << QByteArray(R"({"validationErrors":[],"hasError":false,"x":1e500})") << K::invalidJson
            << "";
        QTest::newRow("number beyond a double, top level")
            << QByteArray("9E900") << K::invalidJson << "";
        QTest::newRow("negative number beyond a double")
            << QByteArray(R"({"validationErrors":[{"key":-1e309}],"hasError":true})")
            << K::invalidJson << "";
        QTest::newRow("400-digit integer")
            << QByteArray(R"({"validationErrors":[],"hasError":false,"n":)" + QByteArray(400, '9') +
                          "}")
            << K::invalidJson << "";
        QTest::newRow("deep nesting") << QByteArray(100000, '[') << K::invalidJson << "";
        QTest::newRow("array") << QByteArray("[]") << K::notAnObject << "";
        QTest::newRow("string") << QByteArray("\"ok\"") << K::notAnObject << "";
        QTest::newRow("no validationErrors")
            << QByteArray(R"({"hasError":false})") << K::keyNotFound << "validationErrors";
        QTest::newRow("no hasError")
            << QByteArray(R"({"validationErrors":[]})") << K::keyNotFound << "hasError";
        QTest::newRow("names are case-sensitive")
            << QByteArray(R"({"ValidationErrors":[],"HasError":false})") << K::keyNotFound
            << "validationErrors";
        QTest::newRow("null hasError") << QByteArray(R"({"validationErrors":[],"hasError":null})")
                                       << K::valueNotFound << "hasError";
        QTest::newRow("null validationErrors")
            << QByteArray(R"({"validationErrors":null,"hasError":false})") << K::valueNotFound
            << "validationErrors";
        QTest::newRow("hasError as number") << QByteArray(R"({"validationErrors":[],"hasError":1})")
                                            << K::typeMismatch << "hasError";
        QTest::newRow("hasError as text")
            << QByteArray(R"({"validationErrors":[],"hasError":"true"})") << K::typeMismatch
            << "hasError";
        QTest::newRow("object for a list")
            << QByteArray(R"({"validationErrors":{},"hasError":false})") << K::typeMismatch
            << "validationErrors";
        QTest::newRow("number for a message")
            << QByteArray(R"({"validationErrors":[],"hasError":true,"message":7})")
            << K::typeMismatch << "message";
        QTest::newRow("element without value")
            << QByteArray(
                   R"({"validationErrors":[{"key":"k","value":"v"},{"key":"k"}],"hasError":false})")
            << K::badElement << "validationErrors[1].value";
        QTest::newRow("element not an object")
            << QByteArray(R"({"validationErrors":[3],"hasError":false})") << K::badElement
            << "validationErrors[0]";
    }

    void badResponsesFailWithTheirKind() {
        QFETCH(QByteArray, json);
        QFETCH(DecodeErrorKind, kind);
        QFETCH(QString, codingPath);

        const auto decoded =
            decode<ServiceResponse>(std::string_view(json.constData(), std::size_t(json.size())));
        QVERIFY(std::holds_alternative<DecodeError>(decoded));
        const DecodeError &error = std::get<DecodeError>(decoded);
        QCOMPARE(error.kind, kind);
        QCOMPARE(QString::fromStdString(error.codingPath), codingPath);
        QVERIFY(!error.description.empty());
    }

    void missingMemberErrorNamesTheMember() {
        const auto decoded = decode<CheckAgent>(R"({"accessKey":"K"})");
        const DecodeError &error = std::get<DecodeError>(decoded);
        QCOMPARE(error.kind, DecodeErrorKind::keyNotFound);
        QVERIFY(QString::fromStdString(error.description).contains("\"processNames\""));
    }

    void requestListElementsMustBeTexts() {
        const auto decoded = decode<InitAgent>(R"({"accessKey":"K","processNames":["a",2]})");
        QCOMPARE(std::get<DecodeError>(decoded).kind, DecodeErrorKind::badElement);
    }

    void textualFormQuotesAndEscapes_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("expected");

        QTest::newRow("plain")
            << "K-1" << QStringList{"org.example.A", "org.example.B"}
            << R"(CheckAgent(AccessKey: "K-1", ProcessNames: ["org.example.A", "org.example.B"]))";
        QTest::newRow("empty list")
            << "K" << QStringList{} << R"(CheckAgent(AccessKey: "K", ProcessNames: []))";
        QTest::newRow("quotes and backslash")
            << "a\"b\\c'd" << QStringList{"x\"y"}
            << "CheckAgent(AccessKey: \"a\\\"b\\\\c\\'d\", ProcessNames: [\"x\\\"y\"])";
        QTest::newRow("control characters")
            << QString("a\nb\tc\rd") + QChar(0x1b) + QChar(0) << QStringList{}
            << "CheckAgent(AccessKey: \"a\\nb\\tc\\rd\\u{1B}\\0\", ProcessNames: [])";
        QTest::newRow("non-ASCII stays as is")
            << "ключ" << QStringList{"日本.app"}
            << R"(CheckAgent(AccessKey: "ключ", ProcessNames: ["日本.app"]))";
    }

    void textualFormReplacesInvalidUtf8_data() {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("quoted");
        const QByteArray fffd = "\xEF\xBF\xBD";
        QTest::newRow("stray continuation byte") << QByteArray("a\x80"
                                                               "b")
                                                 << "\"a" + fffd + "b\"";
        QTest::newRow("cut-off sequence before a quote")
            << QByteArray("\xE2\x82\"") << "\"" + fffd + "\\\"\"";
        QTest::newRow("lead byte eating a newline")
            << QByteArray("\xC3\n") << "\"" + fffd + "\\n\"";
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << "\"" + fffd + fffd + "\"";
        QTest::newRow("surrogate")
            << QByteArray("\xED\xA0\x80") << "\"" + fffd + fffd + fffd + "\"";
        QTest::newRow("beyond U+10FFFF")
            << QByteArray("\xF4\x90\x80\x80") << "\"" + fffd + fffd + fffd + fffd + "\"";
        QTest::newRow("four-byte character kept")
            << QByteArray("\xF0\x9F\x98\x80") << QByteArray("\"\xF0\x9F\x98\x80\"");
    }

    void textualFormReplacesInvalidUtf8() {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, quoted);
        QCOMPARE(QByteArray::fromStdString(quotedText(key.toStdString())), quoted);
    }

    void textualFormQuotesAndEscapes() {
        QFETCH(QString, key);
        QFETCH(QStringList, names);
        QFETCH(QString, expected);

        CheckAgent body{key.toStdString(), {}};
        for (const QString &name : names) {
            body.ProcessNames.push_back(name.toStdString());
        }
        QCOMPARE(QString::fromStdString(textualForm(body)), expected);
    }
};

QTEST_APPLESS_MAIN(WireRecordsTest)
#include "tst_wirerecords.moc"
