#include "systemproxies.h"

#include <thread>
#include <utility>

namespace Qolvi_Desktop_Agent {

SystemProxies::SystemProxies(Lookup lookup, std::chrono::milliseconds kept)
    : m_lookup(lookup ? std::move(lookup) : Lookup(&QNetworkProxyFactory::systemProxyForQuery))
    , m_kept(kept) {}

QList<QNetworkProxy> SystemProxies::queryProxy(const QNetworkProxyQuery &query) {
    const QString key = QString::number(query.queryType()) + u' ' + query.protocolTag() + u' ' +
                        query.peerHostName() + u' ' + QString::number(query.peerPort());
    // Qt calls a factory from whichever thread it asks in.
    std::unique_lock lock(m_answers->mutex);
    const auto kept = m_answers->byQuery.find(key);
    if (kept != m_answers->byQuery.end()) {
        if (std::chrono::steady_clock::now() - kept->asked >= m_kept && !kept->askingAgain) {
            kept->askingAgain = true;
            std::thread([answers = m_answers, lookup = m_lookup, query, key] {
                QList<QNetworkProxy> proxies = lookup(query);
                const std::scoped_lock done(answers->mutex);
                answers->byQuery.insert(
                    key, Answer{std::move(proxies), std::chrono::steady_clock::now(), false});
            }).detach();
        }
        return kept->proxies;
    }
    lock.unlock();
    QList<QNetworkProxy> proxies = m_lookup(query);
    lock.lock();
    m_answers->byQuery.insert(key, Answer{proxies, std::chrono::steady_clock::now(), false});
    return proxies;
}

} // namespace Qolvi_Desktop_Agent
