#include "servicesession.h"

#include "oneshotbody.h"
#include "systemproxies.h"

#include <QNetworkReply>
#include <QPointer>
#include <QSet>
#include <algorithm>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Qolvi_Desktop_Agent {

namespace {

// Qt reads each of Debian's roots from its own file and again from the bundle that holds them
// all; each copy would stay in memory for as long as the agent runs.
QList<QSslCertificate> withoutRepeats(const QList<QSslCertificate> &certificates) {
    QList<QSslCertificate> unique;
    QSet<QSslCertificate> seen;
    for (const QSslCertificate &certificate : certificates) {
        if (!seen.contains(certificate)) {
            seen.insert(certificate);
            unique.append(certificate);
        }
    }
    return unique;
}

} // namespace

ServiceSession::ServiceSession(SessionLimits limits, ServiceTrust trust, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_trust(std::move(trust)) {
    m_manager.setTransferTimeout(static_cast<int>(m_limits.inactivity.count()));
    m_manager.setProxyFactory(new SystemProxies);
}

void ServiceSession::send(const ServiceRequest &request, const QObject *context,
                          PendingExchange::Completion completion) {
    QNetworkRequest outgoing = request.request;
    outgoing.setSslConfiguration(tls());
    // Qt lets a request's own transfer time-out override the manager's; the session's
    // inactivity limit must hold whatever the request carries.
    const int inactivity = static_cast<int>(m_limits.inactivity.count());
    const int requested = outgoing.transferTimeout();
    outgoing.setTransferTimeout(requested > 0 ? std::min(requested, inactivity) : inactivity);

    // Redirects are followed by the exchange itself, one request at a time, so that no request
    // of Qt's own making goes out.
    outgoing.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                          QNetworkRequest::ManualRedirectPolicy);
    new PendingExchange(
        outgoing, request.body.value_or(QByteArray()),
        [this](const QNetworkRequest &next, const std::optional<QByteArray> &body) {
            return body ? post(next, *body) : m_manager.get(next);
        },
        [this](const QNetworkReply &reply) { return acceptsPeer(reply); }, m_limits,
        [guard = QPointer<const QObject>(context),
         completion = std::move(completion)](const ExchangeResult &result) {
            if (guard) {
                completion(result);
            }
        },
        this);
}

const QSslConfiguration &ServiceSession::tls() {
    if (!m_tls) {
        const QList<QSslCertificate> extra =
            m_trust.extraCaCertificates ? m_trust.extraCaCertificates() : QList<QSslCertificate>();
        m_tls = QSslConfiguration::defaultConfiguration();
        m_tls->setPeerVerifyMode(QSslSocket::VerifyPeer);
        // Given no list, Qt reads a root from the system's store when a chain needs it, rather
        // than keeping every root in memory for as long as the agent runs.
        const bool rootsOnDemand = m_trust.systemCaCertificates && extra.isEmpty();
        QList<QSslCertificate> authorities;
        if (!rootsOnDemand) {
            // The list is given whole: adding to the default one turns off Qt's loading of the
            // system's roots on demand, and with it every public certificate authority.
            authorities = m_trust.systemCaCertificates
                              ? withoutRepeats(QSslConfiguration::systemCaCertificates() + extra)
                              : extra;
            m_tls->setCaCertificates(authorities);
        }
        if (!m_trust.pins.isEmpty()) {
            m_pinnedKeys =
                std::make_unique<PinnedKeys>(m_trust.pins, authorities,
                                             rootsOnDemand ? PinnedKeys::SystemStore::onDemand
                                                           : PinnedKeys::SystemStore::notTrusted);
        }
#if defined(__GLIBC__)
        // Reading every root parsed each of them twice: the pages the repeats held are free
        // now, but would stay the agent's for hours (about 0.6 MB of Debian's roots).
        if (!rootsOnDemand && m_trust.systemCaCertificates) {
            malloc_trim(0);
        }
#endif
    }
    return *m_tls;
}

bool ServiceSession::acceptsPeer(const QNetworkReply &reply) {
    if (!m_pinnedKeys ||
        m_pinnedKeys->holdPinnedKey(reply.sslConfiguration().peerCertificateChain())) {
        return true;
    }
    // HTTP/2 keeps a connection open after its exchange is aborted, and Qt sends the next
    // exchange on it without a handshake to check again: the refused connections go. Not from
    // here, though: Qt's network thread, which the cache's clearing ends, waits for this call.
    QMetaObject::invokeMethod(
        this, [this] { m_manager.clearConnectionCache(); }, Qt::QueuedConnection);
    return false;
}

QNetworkReply *ServiceSession::post(QNetworkRequest request, const QByteArray &body) {
    auto *device = new OneShotBody(body);
    request.setHeader(QNetworkRequest::ContentLengthHeader, device->size());
    // Qt would copy the body into a buffer it can rewind; read it straight from the device.
    request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    QNetworkReply *reply = m_manager.post(request, device);
    device->setParent(reply);
    return reply;
}

} // namespace Qolvi_Desktop_Agent
