#include "systemproxies.h"

namespace Qolvi_Desktop_Agent {

QList<QNetworkProxy> SystemProxies::queryProxy(const QNetworkProxyQuery &query) {
    const QString key = QString::number(query.queryType()) + u' ' + query.protocolTag() + u' ' +
                        query.peerHostName() + u' ' + QString::number(query.peerPort());
    const auto now = std::chrono::steady_clock::now();
    // Qt calls a factory from whichever thread it asks in.
    const std::scoped_lock lock(m_mutex);
    const auto kept = m_answers.constFind(key);
    if (kept != m_answers.cend() && now - kept->asked < answerKept) {
        return kept->proxies;
    }
    QList<QNetworkProxy> proxies = systemProxyForQuery(query);
    m_answers.insert(key, Answer{proxies, now});
    return proxies;
}

} // namespace Qolvi_Desktop_Agent
