#pragma once

#include <QHash>
#include <QNetworkProxyFactory>
#include <QString>
#include <chrono>
#include <mutex>

namespace Qolvi_Desktop_Agent {

// The proxy the system names for each URL: candidates on networks that reach the outside only
// through a proxy can reach the service too. A proxy sees only the name of the host in its
// tunnel; TLS runs end to end through it, and one that opens TLS itself fails the pins.
//
// Asking the system costs more than the rest of a report, and Qt asks for every request: an
// answer is kept for a minute, long enough for a run of reports and short enough to follow the
// candidate onto another network.
class SystemProxies : public QNetworkProxyFactory {
public:
    static constexpr std::chrono::seconds answerKept{60};

    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;

private:
    struct Answer {
        QList<QNetworkProxy> proxies;
        std::chrono::steady_clock::time_point asked;
    };

    std::mutex m_mutex;
    QHash<QString, Answer> m_answers;
};

} // namespace Qolvi_Desktop_Agent
