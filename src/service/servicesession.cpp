#include "servicesession.h"

#include "oneshotbody.h"

#include <QNetworkReply>
#include <QPointer>
#include <algorithm>

namespace Qolvi_Desktop_Agent {

ServiceSession::ServiceSession(SessionLimits limits,
                               const QList<QSslCertificate> &extraCaCertificates, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_tls(QSslConfiguration::defaultConfiguration()) {
    m_tls.addCaCertificates(extraCaCertificates);
    m_tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_manager.setTransferTimeout(static_cast<int>(m_limits.inactivity.count()));
}

void ServiceSession::send(const ServiceRequest &request, const QObject *context,
                          PendingExchange::Completion completion) {
    QNetworkRequest outgoing = request.request;
    outgoing.setSslConfiguration(m_tls);
    // Qt lets a request's own transfer time-out override the manager's; the session's
    // inactivity limit must hold whatever the request carries.
    const int inactivity = static_cast<int>(m_limits.inactivity.count());
    const int requested = outgoing.transferTimeout();
    outgoing.setTransferTimeout(requested > 0 ? std::min(requested, inactivity) : inactivity);

    auto *body = new OneShotBody(request.body.value_or(QByteArray()));
    outgoing.setHeader(QNetworkRequest::ContentLengthHeader, body->size());
    // Qt would copy the body into a buffer it can rewind; read it straight from the device.
    outgoing.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    QNetworkReply *reply = m_manager.post(outgoing, body);
    body->setParent(reply);
    new PendingExchange(reply, body, m_limits,
                        [guard = QPointer<const QObject>(context),
                         completion = std::move(completion)](const ExchangeResult &result) {
                            if (guard) {
                                completion(result);
                            }
                        });
}

} // namespace Qolvi_Desktop_Agent
