#pragma once

#include <QHash>
#include <QNetworkProxyFactory>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace Qolvi_Desktop_Agent {

// The proxy the system names for each URL: candidates on networks that reach the outside only
// through a proxy can reach the service too. A proxy sees only the name of the host in its
// tunnel; TLS runs end to end through it, and one that opens TLS itself fails the pins.
//
// Asking the system costs more than the rest of a report, and Qt asks for every request: an
// answer is kept for a minute, long enough for a run of reports and short enough to follow the
// candidate onto another network. Only the first question for an address waits for the system;
// an older answer is asked anew on a thread of its own (a proxy auto-configuration can take
// seconds) and serves until the new one comes.
class SystemProxies : public QNetworkProxyFactory {
public:
    static constexpr std::chrono::seconds answerKept{60};
    using Lookup = std::function<QList<QNetworkProxy>(const QNetworkProxyQuery &)>;

    // The system's own lookup when none is given.
    explicit SystemProxies(Lookup lookup = {},
                           std::chrono::milliseconds kept = std::chrono::milliseconds(answerKept));

    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;

private:
    struct Answer {
        QList<QNetworkProxy> proxies;
        std::chrono::steady_clock::time_point asked;
        bool askingAgain = false;
    };
    // Shared with a lookup still running when the factory goes.
    struct Answers {
        std::mutex mutex;
        QHash<QString, Answer> byQuery;
    };

    Lookup m_lookup;
    std::chrono::milliseconds m_kept;
    std::shared_ptr<Answers> m_answers = std::make_shared<Answers>();
};

} // namespace Qolvi_Desktop_Agent
