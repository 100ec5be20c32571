#pragma once

#include <QHash>
#include <QNetworkProxyFactory>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace Qolvi_Desktop_Agent {

// The proxy the system names for each URL: candidates on networks that reach the outside only
// through a proxy can reach the service too. A proxy sees only the name of the host in its
// tunnel; TLS runs end to end through it, and one that opens TLS itself fails the pins.
//
// Asking the system costs more than the rest of a report, a proxy auto-configuration can take
// seconds, and Qt asks for every request on the window's thread. So the system is only ever
// asked on a thread of its own: first ahead of the first request (askAhead), then whenever an
// answer is a minute old, long enough for a run of reports and short enough to follow the
// candidate onto another network, the old answer serving until the new one comes. The first
// request whose address has no answer yet waits for it a moment at most; it and any request
// after it go direct until the answer comes.
class SystemProxies : public QNetworkProxyFactory {
public:
    static constexpr std::chrono::seconds answerKept{60};
    // Well inside a frame, and long enough for a lookup that reads only the environment.
    static constexpr std::chrono::milliseconds firstAnswerWait{40};
    using Lookup = std::function<QList<QNetworkProxy>(const QNetworkProxyQuery &)>;

    // The system's own lookup when none is given.
    explicit SystemProxies(Lookup lookup = {},
                           std::chrono::milliseconds kept = std::chrono::milliseconds(answerKept));

    // Asks the system now about the address of `url`, so that its first request finds the
    // answer in.
    void askAhead(const QUrl &url);
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;

    // Whether a lookup of any factory is still running. The system's proxy library waits for
    // its lookups when the process tears down its own state at exit, and a proxy
    // auto-configuration server that never answers would keep the process alive for ever.
    [[nodiscard]] static bool lookupRunning();

private:
    struct Answer {
        QList<QNetworkProxy> proxies;
        std::chrono::steady_clock::time_point asked;
        bool answered = false;
        bool asking = false;
        bool waitedFor = false;
    };
    // Shared with a lookup still running when the factory goes.
    struct Answers {
        std::mutex mutex;
        std::condition_variable answered;
        QHash<QString, Answer> byQuery;
    };

    // With the answers' mutex held.
    void askOnThread(const QNetworkProxyQuery &query, const QString &key);

    static inline std::atomic<int> s_lookupsRunning = 0;

    Lookup m_lookup;
    std::chrono::milliseconds m_kept;
    std::shared_ptr<Answers> m_answers = std::make_shared<Answers>();
};

} // namespace Qolvi_Desktop_Agent
