// The agent while connected: the agent state reporting to the local exam service over HTTPS at
// a short injected interval, one benchmark iteration per report, beside the same number of the
// same POSTs made with a bare QNetworkAccessManager (what Qt's HTTPS costs on its own).
// The agent checks its own process and its view of the session at each report, as the product
// does. Process CPU per report, resident memory before and after, TLS connections the service saw,
// and open file descriptors. QOLVI_BENCH_REPORTS sets how many reports (default 10,000) and
// QOLVI_BENCH_INTERVAL_MS the interval (default 5; 3000 is the product's, with cold caches).

#include "agent/contentview.h"
#include "examserver.h"
#include "examservice.h"
#include "platform/processintegrity.h"
#include "platform/sessionvisibility.h"
#include "ratioreporter.h"
#include "service/wirejson.h"

#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <csignal>
#include <dirent.h>
#include <mutex>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent;

namespace {

std::chrono::milliseconds interval{5};

// The local exam service in a process of its own, so that its work is not counted as the
// agent's. It counts the connections its POSTs came on and tells them on GET /bench/connections.
class ServiceProcess {
public:
    ServiceProcess() {
        int ports[2];
        if (::pipe(ports) != 0) {
            std::abort();
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ports[0]);
            serve(ports[1]);
        }
        ::close(ports[1]);
        if (::read(ports[0], &m_port, sizeof m_port) != sizeof m_port) {
            std::abort();
        }
        ::close(ports[0]);
    }
    ~ServiceProcess() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    ServiceProcess(const ServiceProcess &) = delete;
    ServiceProcess &operator=(const ServiceProcess &) = delete;

    [[nodiscard]] int port() const { return m_port; }

private:
    [[noreturn]] static void serve(int portPipe) {
        const std::string ca = QOLVI_LOCAL_CA_DIR;
        httplib::SSLServer server((ca + "/server.pem").c_str(), (ca + "/server.key").c_str());
        const tools::ExamService service({std::string(tools::ExamService::demoKey)}, {});
        tools::mountExamService(server, service, [](const std::string &) {});
        std::mutex mutex;
        std::set<int> connections;
        server.set_pre_routing_handler([&](const httplib::Request &request, httplib::Response &) {
            if (request.method == "POST") {
                const std::lock_guard lock(mutex);
                connections.insert(request.remote_port);
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
        server.Get("/bench/connections", [&](const httplib::Request &, httplib::Response &reply) {
            const std::lock_guard lock(mutex);
            reply.set_content(std::to_string(connections.size()), "text/plain");
            connections.clear();
        });
        const int port = server.bind_to_any_port("127.0.0.1");
        if (::write(portPipe, &port, sizeof port) != sizeof port) {
            ::_exit(1);
        }
        server.listen_after_bind();
        ::_exit(0);
    }

    pid_t m_pid = 0;
    int m_port = 0;
};

ServiceProcess *service = nullptr;

QString baseUrl() {
    return QStringLiteral("https://127.0.0.1:%1/tr/").arg(service->port());
}

int connectionsSinceLastAsked() {
    httplib::SSLClient client("127.0.0.1", service->port());
    client.enable_server_certificate_verification(false);
    const auto answer = client.Get("/bench/connections");
    return answer ? std::stoi(answer->body) : -1;
}

double residentMegabytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1
               ? fields[1].toDouble() * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6
               : 0;
}

int openDescriptors() {
    int count = 0;
    if (DIR *fds = ::opendir("/proc/self/fd")) {
        while (const dirent *entry = ::readdir(fds)) {
            count += entry->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(fds);
    }
    return count;
}

QList<QSslCertificate> localAuthority() {
    return QSslCertificate::fromPath(QStringLiteral(QOLVI_LOCAL_CA_DIR "/ca.pem"));
}

const QStringList applications{QStringLiteral("org.mozilla.firefox"),
                               QStringLiteral("org.gnome.Terminal"),
                               QStringLiteral("com.qolvi.DesktopAgent")};

// Runs the iterations, each ending when one report (or POST) was answered.
template <typename Start>
void measure(benchmark::State &state, QEventLoop &answered, Start start) {
    connectionsSinceLastAsked();
    const double residentBefore = residentMegabytes();
    const int descriptorsBefore = openDescriptors();
    start();
    for (auto _ : state) {
        answered.exec();
    }
    state.counters["rss_before_MB"] = residentBefore;
    state.counters["rss_after_MB"] = residentMegabytes();
    state.counters["fds_before"] = descriptorsBefore;
    state.counters["fds_after"] = openDescriptors();
    state.counters["tls_connections"] = connectionsSinceLastAsked();
}

void connectedAgent(benchmark::State &state) {
    QEventLoop answered;
    AgentConfig config;
    config.baseApiURL = baseUrl();
    config.examSiteURL = QStringLiteral("https://127.0.0.1");
    config.trust.extraCaCertificates = localAuthority;
    config.reportInterval = interval;
    config.runningApplicationIds = [] { return applications; };
    // The checks the product makes at every report, on the bench's own process.
    config.seesUserSession = [] { return seesUserSession(); };
    config.vouchesForOwnProcess = [] { return vouchesForOwnProcess(); };
    config.writeLine = [&answered](const QString &line) {
        if (line.startsWith(QLatin1String("Status Code: ")) &&
            line.endsWith(QLatin1String("checkAgent"))) {
            answered.quit();
        }
    };
    ContentView agent(config);
    agent.setExamKey(QString::fromUtf8(tools::ExamService::demoKey));
    measure(state, answered, [&agent] {
        agent.submitExamKey();
        agent.startReportTimer();
    });
    if (!agent.isConnected()) {
        state.SkipWithError("the agent lost its connection");
    }
}

void bareQtPosts(benchmark::State &state) {
    QEventLoop answered;
    QNetworkAccessManager manager;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(localAuthority());
    QNetworkRequest request(QUrl(baseUrl() + QStringLiteral("exam/CheckApplication")));
    request.setSslConfiguration(tls);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    std::vector<std::string> names;
    for (const QString &name : applications) {
        names.push_back(name.toStdString());
    }
    const QByteArray body = QByteArray::fromStdString(
        encodeCompact(toJson(CheckAgent{std::string(tools::ExamService::demoKey), names})));
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(interval);
    QObject::connect(&timer, &QTimer::timeout, &manager, [&] {
        QNetworkReply *reply = manager.post(request, body);
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, &answered] {
            reply->readAll();
            reply->deleteLater();
            answered.quit();
        });
    });
    measure(state, answered, [&timer] { timer.start(); });
}

int fromEnvironment(const char *name, int fallback) {
    const char *value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : fallback;
}

} // namespace

int main(int argc, char **argv) {
    // The service forks before Qt starts any thread.
    ServiceProcess local;
    service = &local;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    const auto reports =
        static_cast<benchmark::IterationCount>(fromEnvironment("QOLVI_BENCH_REPORTS", 10000));
    interval = std::chrono::milliseconds(fromEnvironment("QOLVI_BENCH_INTERVAL_MS", 5));
    benchmark::RegisterBenchmark("bareQtPosts", bareQtPosts)
        ->Iterations(reports)
        ->MeasureProcessCPUTime()
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("connectedAgent", connectedAgent)
        ->Iterations(reports)
        ->MeasureProcessCPUTime()
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    return bench::runWithRatios(argc, argv, {{"connectedAgent", "bareQtPosts"}}, true);
}
