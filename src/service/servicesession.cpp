#include "servicesession.h"

#include "oneshotbody.h"
#include "verifiedchain.h"

#include <QNetworkReply>
#include <QPointer>
#include <algorithm>
#include <openssl/x509_vfy.h>

namespace Qolvi_Desktop_Agent {

namespace {

// What Qt says of a chain whose root it did not find among the system's.
bool onlyTheRootIsUnknown(const QList<QSslError> &errors) {
    return !errors.isEmpty() &&
           std::all_of(errors.begin(), errors.end(), [](const QSslError &error) {
               switch (error.error()) {
               case QSslError::UnableToGetIssuerCertificate:
               case QSslError::UnableToGetLocalIssuerCertificate:
               case QSslError::UnableToVerifyFirstCertificate:
               case QSslError::SelfSignedCertificate:
               case QSslError::SelfSignedCertificateInChain:
               case QSslError::CertificateUntrusted:
                   return true;
               default:
                   return false;
               }
           });
}

} // namespace

ServiceSession::ServiceSession(SessionLimits limits, ServiceTrust trust, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_trust(std::move(trust))
    , m_proxies(new SystemProxies) {
    m_manager.setTransferTimeout(static_cast<int>(m_limits.inactivity.count()));
    m_manager.setProxyFactory(m_proxies);
}

void ServiceSession::askProxyAhead(const QUrl &service) {
    m_proxies->askAhead(service);
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
        if (!m_trust.systemCaCertificates) {
            m_tls->setCaCertificates(extra);
        } else if (!extra.isEmpty()) {
            // Given no list, Qt reads a root from the system's store when a chain needs it,
            // rather than keeping every root in memory (over 2 MB) for as long as the agent
            // runs; a list of its own, even one added to the default, would end that. The
            // build's authorities vouch instead for a chain whose root Qt did not find.
            m_buildAuthorities.reset(X509_STORE_new());
            for (const QSslCertificate &authority : extra) {
                addAuthority(m_buildAuthorities.get(), authority);
            }
        }
        if (!m_trust.pins.isEmpty()) {
            m_pinnedKeys = std::make_unique<PinnedKeys>(m_trust.pins, extra,
                                                        m_trust.systemCaCertificates
                                                            ? PinnedKeys::SystemStore::onDemand
                                                            : PinnedKeys::SystemStore::notTrusted);
        }
    }
    return *m_tls;
}

void ServiceSession::StoreFree::operator()(X509_STORE *store) const {
    X509_STORE_free(store);
}

bool ServiceSession::buildAuthoritiesVouch(const QNetworkReply &reply,
                                           const QList<QSslError> &errors) const {
    return m_buildAuthorities && onlyTheRootIsUnknown(errors) &&
           verifiedChain(m_buildAuthorities.get(), reply.sslConfiguration().peerCertificateChain());
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
    if (m_buildAuthorities) {
        connect(reply, &QNetworkReply::sslErrors, this,
                [this, reply](const QList<QSslError> &errors) {
                    if (buildAuthoritiesVouch(*reply, errors)) {
                        reply->ignoreSslErrors(errors);
                    }
                });
    }
    return reply;
}

} // namespace Qolvi_Desktop_Agent
