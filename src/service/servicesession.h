#pragma once

#include "pendingexchange.h"
#include "servicerequest.h"
#include "sessionlimits.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace Qolvi_Desktop_Agent {

// The agent's one HTTP session: a network access manager whose exchanges all carry the same
// limits and trust the system's roots plus the build's extra certificate authorities.
class ServiceSession : public QObject {
    Q_OBJECT
public:
    ServiceSession(SessionLimits limits, const QList<QSslCertificate> &extraCaCertificates,
                   QObject *parent = nullptr);

    // Sends the POST; `completion` runs on this thread once, unless `context` is gone by then.
    void send(const ServiceRequest &request, const QObject *context,
              PendingExchange::Completion completion);

    [[nodiscard]] QNetworkAccessManager *manager() { return &m_manager; }
    [[nodiscard]] const SessionLimits &limits() const { return m_limits; }

private:
    [[nodiscard]] QNetworkReply *post(QNetworkRequest request, const QByteArray &body);

    SessionLimits m_limits;
    QSslConfiguration m_tls;
    QNetworkAccessManager m_manager;
};

} // namespace Qolvi_Desktop_Agent
