#include "service/requestsender.h"

#include <QTest>

using namespace Qolvi_Desktop_Agent;

class RequestSenderTest : public QObject {
    Q_OBJECT

private slots:
    // The base and the path are joined as text: nothing added, nothing resolved away.
    void joinsBaseAndPathAsText() {
        const RequestSender sender(QStringLiteral("https://127.0.0.1:47443/api/tr/"), {});
        const ServiceRequest built =
            sender.sendRequest(QStringLiteral("exam/CheckApplication"), InitAgent{"K", {}});
        QCOMPARE(built.request.url().toString(QUrl::FullyEncoded),
                 QStringLiteral("https://127.0.0.1:47443/api/tr/exam/CheckApplication"));
    }

    void aKeyThatCannotBeEncodedWritesALineAndLeavesNoBody() {
        QStringList lines;
        const RequestSender sender(QStringLiteral("https://service.example.com/tr/"),
                                   [&lines](const QString &line) { lines << line; });
        const ServiceRequest built =
            sender.sendRequest(QStringLiteral("exam/InitDesktop"), InitAgent{"\xc3", {}});
        QVERIFY(!built.body.has_value());
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.front().startsWith("Error encoding parameters: [json.exception"),
                 qPrintable(lines.front()));
        QCOMPARE(built.request.rawHeader("Content-Type"), QByteArray("application/json"));
    }
};

QTEST_APPLESS_MAIN(RequestSenderTest)
#include "tst_requestsender.moc"
