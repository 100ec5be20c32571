#include "service/requestsender.h"

#include <QTest>
#include <stdexcept>

using namespace Qolvi_Desktop_Agent;

class RequestSenderTest : public QObject {
    Q_OBJECT

private:
    QStringList m_lines;
    LineWriter collect() {
        return [this](const QString &line) { m_lines.push_back(line); };
    }

private slots:
    void init() { m_lines.clear(); }

    void joinsBaseAndPathAsText_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("url");

        QTest::newRow("init") << "https://service.example.com/tr/"
                              << "exam/InitDesktop"
                              << "https://service.example.com/tr/exam/InitDesktop";
        QTest::newRow("check, with port and deeper base")
            << "https://127.0.0.1:47443/api/tr/"
            << "exam/CheckApplication"
            << "https://127.0.0.1:47443/api/tr/exam/CheckApplication";
    }

    void joinsBaseAndPathAsText() {
        QFETCH(QString, base);
        QFETCH(QString, path);
        QFETCH(QString, url);

        const RequestSender sender(base, collect());
        const ServiceRequest built = sender.sendRequest(path, InitAgent{"K", {}});
        QCOMPARE(built.request.url().toString(QUrl::FullyEncoded), url);
        QCOMPARE(built.request.url().path().count(QStringLiteral("/tr/exam/")), 1);
    }

    void encodingFailureWritesALineAndLeavesNoBody() {
        const RequestSender sender(
            QStringLiteral("https://service.example.com/tr/"), collect(),
            [](const Json &) -> std::string { throw std::runtime_error("the encoder gave up"); });
        const ServiceRequest built =
            sender.sendRequest(QStringLiteral("exam/InitDesktop"), InitAgent{"K", {}});

        QCOMPARE(m_lines, QStringList{"Error encoding parameters: the encoder gave up"});
        QVERIFY(!built.body.has_value());
        QCOMPARE(built.request.url().toString(),
                 QStringLiteral("https://service.example.com/tr/exam/InitDesktop"));
        QCOMPARE(built.request.rawHeader("Content-Type"), QByteArray("application/json"));
    }

    void invalidUtf8ReachesTheEncodingFailureBranch() {
        const RequestSender sender(QStringLiteral("https://service.example.com/tr/"), collect());
        const ServiceRequest built =
            sender.sendRequest(QStringLiteral("exam/InitDesktop"), InitAgent{"\xc3", {}});
        QVERIFY(!built.body.has_value());
        QCOMPARE(m_lines.size(), 1);
        QVERIFY(m_lines.front().startsWith("Error encoding parameters: "));
    }
};

QTEST_APPLESS_MAIN(RequestSenderTest)
#include "tst_requestsender.moc"
