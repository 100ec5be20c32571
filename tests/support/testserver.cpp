#include "testserver.h"

#include "examserver.h"

#include <QFile>
#include <QThread>

namespace Qolvi_Desktop_Agent::testing {

using tools::sendWithoutDelay;

namespace {

std::string certificatePath(Authority authority, const char *file) {
    const char *folder = authority == Authority::trusted ? "/trusted/" : "/untrusted/";
    return std::string(QOLVI_TEST_CERTS_DIR) + folder + file;
}

} // namespace

QList<QSslCertificate> trustedTestCa() {
    QFile file(QString::fromStdString(certificatePath(Authority::trusted, "ca.pem")));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("The test certificate authority is missing: %s", qPrintable(file.fileName()));
    }
    return QSslCertificate::fromData(file.readAll(), QSsl::Pem);
}

TestServer::TestServer(Authority authority)
    : m_server(certificatePath(authority, "server.pem").c_str(),
               certificatePath(authority, "server.key").c_str()) {
    if (!m_server.is_valid()) {
        qFatal("The test server could not load its certificate");
    }
    sendWithoutDelay(m_server);
    m_server.set_keep_alive_max_count(1000);
    // Stopping waits for kept-alive connections to time out; keep that short.
    m_server.set_keep_alive_timeout(1);
    m_server.Post(".*", [this](const httplib::Request &request, httplib::Response &response) {
        Handler handler;
        {
            const std::lock_guard lock(m_mutex);
            m_requests.push_back(
                {request.method, request.path, request.headers, request.body, request.remote_port});
            handler = m_handler;
        }
        if (handler) {
            handler(request, response);
        } else {
            response.status = 500;
        }
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    while (!m_server.is_running()) {
        QThread::yieldCurrentThread();
    }
}

TestServer::~TestServer() {
    m_stopping = true;
    m_server.stop();
    m_thread.join();
}

void TestServer::onPost(Handler handler) {
    const std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

void TestServer::answer(int status, const std::string &body) {
    onPost([status, body](const httplib::Request &, httplib::Response &response) {
        response.status = status;
        response.set_content(body, "application/json");
    });
}

QString TestServer::baseUrl() const {
    return QStringLiteral("https://127.0.0.1:%1/tr/").arg(m_port);
}

std::vector<RecordedRequest> TestServer::requests() const {
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

int TestServer::requestCount() const {
    const std::lock_guard lock(m_mutex);
    return static_cast<int>(m_requests.size());
}

} // namespace Qolvi_Desktop_Agent::testing
