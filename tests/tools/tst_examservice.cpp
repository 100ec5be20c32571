// The local exam service's rules, apart from HTTP (the end-to-end run drives it over HTTPS).

#include "examservice.h"

#include <QTest>

using namespace Qolvi_Desktop_Agent::tools;

class ExamServiceTest : public QObject {
    Q_OBJECT

private slots:
    void answersByItsRules_data() {
        QTest::addColumn<bool>("report");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer");
        const QByteArray unknownKey =
            R"({"validationErrors":[{"key":"accessKey","value":"Unknown exam key"}],"hasError":true,)";
        const QByteArray badRequest = R"({"error":"bad request"})";
        QTest::newRow("accepted key")
            << false << QByteArray(R"({"accessKey":"K-1","processNames":["a"]})") << 200
            << QByteArray(R"({"validationErrors":[],"hasError":false})");
        QTest::newRow("unknown key")
            << false << QByteArray(R"({"accessKey":"K-2","processNames":[]})") << 200
            << unknownKey + R"("message":"This exam key is not valid for any exam."})";
        QTest::newRow("unknown key in a report")
            << true << QByteArray(R"({"accessKey":"K-9","processNames":[]})") << 200
            << unknownKey + R"("message":"This exam key is not valid; enter it again."})";
        QTest::newRow("denied application in a report")
            << true << QByteArray(R"({"accessKey":"K-1","processNames":["a","org.example.Chat"]})")
            << 200
            << QByteArray(
                   R"({"validationErrors":[{"key":"processNames","value":"org.example.Chat is not allowed"}],)"
                   R"("hasError":true,"message":"Close org.example.Chat: it is not allowed during the exam."})");
        QTest::newRow("not JSON") << true << QByteArray("\x00\xff{", 3) << 400 << badRequest;
        QTest::newRow("wrong shape")
            << false << QByteArray(R"({"accessKey":1,"processNames":[]})") << 400 << badRequest;
        QTest::newRow("number beyond a double")
            << false << QByteArray("9E900") << 400 << badRequest;
    }

    void answersByItsRules() {
        QFETCH(bool, report);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        const ExamService service({"K-1"}, {"org.example.Chat"});
        const std::string_view text(body.constData(), std::size_t(body.size()));
        const ExamService::Reply reply =
            report ? service.checkApplication(text) : service.initDesktop(text);
        QCOMPARE(reply.status, status);
        QCOMPARE(QByteArray::fromStdString(reply.body), answer);
    }
};

QTEST_APPLESS_MAIN(ExamServiceTest)
#include "tst_examservice.moc"
