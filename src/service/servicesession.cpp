#include "servicesession.h"

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

    QNetworkReply *reply = m_manager.post(outgoing, request.body.value_or(QByteArray()));
    new PendingExchange(reply, m_limits,
                        [guard = QPointer<const QObject>(context),
                         completion = std::move(completion)](const ExchangeResult &result) {
                            if (guard) {
                                completion(result);
                            }
                        });
}

} // namespace Qolvi_Desktop_Agent
