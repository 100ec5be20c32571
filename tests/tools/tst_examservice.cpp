#include "examserver.h"
#include "examservice.h"

#include <QTest>
#include <thread>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::tools;
using namespace std::chrono_literals;

namespace {

// The local exam service's own routes on an HTTPS server with the test certificate.
class RunningService {
public:
    RunningService(std::set<std::string> accepted, std::set<std::string> denied)
        : m_service(std::move(accepted), std::move(denied))
        , m_server(QOLVI_TEST_CERTS_DIR "/trusted/server.pem",
                   QOLVI_TEST_CERTS_DIR "/trusted/server.key") {
        mountExamService(m_server, m_service, [this](const std::string &line) {
            const std::lock_guard lock(m_mutex);
            m_log.push_back(QString::fromStdString(line));
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::yield();
        }
    }
    ~RunningService() {
        m_server.stop();
        m_thread.join();
    }

    QString baseUrl() const { return QStringLiteral("https://127.0.0.1:%1/tr/").arg(m_port); }
    QStringList log() const {
        const std::lock_guard lock(m_mutex);
        return m_log;
    }

private:
    ExamService m_service;
    httplib::SSLServer m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QStringList m_log;
};

} // namespace

class ExamServiceTest : public QObject {
    Q_OBJECT

private slots:
    void answersByItsRules_data() {
        QTest::addColumn<bool>("check");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer");

        QTest::newRow("accepted key")
            << false << QByteArray(R"({"accessKey":"K-1","processNames":["a"]})") << 200
            << QByteArray(R"({"validationErrors":[],"hasError":false})");
        QTest::newRow("unknown key")
            << false << QByteArray(R"({"accessKey":"K-2","processNames":[]})") << 200
            << QByteArray(
                   R"({"validationErrors":[{"key":"accessKey","value":"Unknown exam key"}],"hasError":true,"message":"This exam key is not valid for any exam."})");
        QTest::newRow("denied application in a report")
            << true << QByteArray(R"({"accessKey":"K-1","processNames":["a","org.example.Chat"]})")
            << 200
            << QByteArray(
                   R"({"validationErrors":[{"key":"processNames","value":"org.example.Chat is not allowed"}],"hasError":true,"message":"Close org.example.Chat: it is not allowed during the exam."})");
        QTest::newRow("unknown key in a report")
            << true << QByteArray(R"({"accessKey":"K-9","processNames":[]})") << 200
            << QByteArray(
                   R"({"validationErrors":[{"key":"accessKey","value":"Unknown exam key"}],"hasError":true,"message":"This exam key is not valid; enter it again."})");
        QTest::newRow("not JSON") << true << QByteArray("\x00\xff{", 3) << 400
                                  << QByteArray(R"({"error":"bad request"})");
        QTest::newRow("wrong shape") << false << QByteArray(R"({"accessKey":1,"processNames":[]})")
                                     << 400 << QByteArray(R"({"error":"bad request"})");
        QTest::newRow("empty body")
            << false << QByteArray() << 400 << QByteArray(R"({"error":"bad request"})");
        QTest::newRow("number beyond a double")
            << false << QByteArray("9E900") << 400 << QByteArray(R"({"error":"bad request"})");
    }

    void answersByItsRules() {
        QFETCH(bool, check);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        const ExamService service({"K-1"}, {"org.example.Chat"});
        const std::string_view text(body.constData(), std::size_t(body.size()));
        const ExamService::Reply reply =
            check ? service.checkApplication(text) : service.initDesktop(text);
        QCOMPARE(reply.status, status);
        QCOMPARE(QByteArray::fromStdString(reply.body), answer);
    }

    void servesTheExamSitePageAndRefusesOtherPaths() {
        RunningService service({"K-1"}, {});
        httplib::SSLClient client("127.0.0.1", QUrl(service.baseUrl()).port());
        client.set_ca_cert_path(QOLVI_TEST_CERTS_DIR "/trusted/ca.pem");
        client.enable_server_certificate_verification(true);
        const auto page = client.Get("/");
        QVERIFY(page);
        QCOMPARE(page->status, 200);
        QVERIFY(page->body.find("Qolvi exam site") != std::string::npos);
        const auto missing = client.Post("/tr/exam/Other", "{}", "application/json");
        QVERIFY(missing);
        QCOMPARE(missing->status, 404);
        const auto tooLarge = client.Post("/tr/exam/InitDesktop", std::string((1 << 20) + 1, ' '),
                                          "application/json");
        QVERIFY(tooLarge);
        QCOMPARE(tooLarge->status, 413);
    }
};

QTEST_MAIN(ExamServiceTest)
#include "tst_examservice.moc"
