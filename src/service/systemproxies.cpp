#include "systemproxies.h"

#include <thread>
#include <utility>

namespace Qolvi_Desktop_Agent {

namespace {

QString keyOf(const QNetworkProxyQuery &query) {
    return QString::number(query.queryType()) + u' ' + query.protocolTag() + u' ' +
           query.peerHostName() + u' ' + QString::number(query.peerPort());
}

} // namespace

SystemProxies::SystemProxies(Lookup lookup, std::chrono::milliseconds kept)
    : m_lookup(lookup ? std::move(lookup) : Lookup(&QNetworkProxyFactory::systemProxyForQuery))
    , m_kept(kept) {}

void SystemProxies::askAhead(const QUrl &url) {
    const QNetworkProxyQuery query(url);
    const QString key = keyOf(query);
    const std::scoped_lock lock(m_answers->mutex);
    if (!m_answers->byQuery.contains(key)) {
        askOnThread(query, key);
    }
}

QList<QNetworkProxy> SystemProxies::queryProxy(const QNetworkProxyQuery &query) {
    const QString key = keyOf(query);
    // Qt calls a factory from whichever thread it asks in.
    std::unique_lock lock(m_answers->mutex);
    if (!m_answers->byQuery.contains(key)) {
        askOnThread(query, key);
    }
    // One wait for each lookup: a lookup that never ends costs one request a moment, not every
    // report.
    if (Answer &pending = m_answers->byQuery[key]; !pending.answered && !pending.waitedFor) {
        pending.waitedFor = true;
        m_answers->answered.wait_for(lock, firstAnswerWait,
                                     [&] { return m_answers->byQuery[key].answered; });
    }
    Answer &kept = m_answers->byQuery[key];
    if (!kept.answered) {
        return {QNetworkProxy(QNetworkProxy::NoProxy)};
    }
    if (std::chrono::steady_clock::now() - kept.asked >= m_kept && !kept.asking) {
        askOnThread(query, key);
    }
    return kept.proxies;
}

bool SystemProxies::lookupRunning() {
    return s_lookupsRunning.load() > 0;
}

void SystemProxies::askOnThread(const QNetworkProxyQuery &query, const QString &key) {
    m_answers->byQuery[key].asking = true;
    ++s_lookupsRunning;
    std::thread([answers = m_answers, lookup = m_lookup, query, key] {
        QList<QNetworkProxy> proxies = lookup(query);
        --s_lookupsRunning;
        {
            const std::scoped_lock done(answers->mutex);
            answers->byQuery.insert(
                key, Answer{std::move(proxies), std::chrono::steady_clock::now(), true});
        }
        answers->answered.notify_all();
    }).detach();
}

} // namespace Qolvi_Desktop_Agent
