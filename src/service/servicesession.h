#pragma once

#include "pendingexchange.h"
#include "pinnedkeys.h"
#include "servicerequest.h"
#include "servicetrust.h"
#include "sessionlimits.h"
#include "systemproxies.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QSslConfiguration>
#include <memory>
#include <optional>

using X509_STORE = struct x509_store_st;

namespace Qolvi_Desktop_Agent {

// The agent's one HTTP session: a network access manager whose exchanges all carry the same
// limits, trust the same certificate authorities, need one of the same pinned keys in the
// chain, and go through the system's proxy when it has one.
class ServiceSession : public QObject {
    Q_OBJECT
public:
    ServiceSession(SessionLimits limits, ServiceTrust trust, QObject *parent = nullptr);

    // Sends the POST; `completion` runs on this thread once, unless `context` is gone by then.
    void send(const ServiceRequest &request, const QObject *context,
              PendingExchange::Completion completion);

    // Loads the TLS code now rather than at the first exchange, so that a check of the code in
    // this process, made before a key is sent, covers the code that will carry it.
    void loadTls() { (void)tls(); }

    // Asks the system, off this thread, which proxy leads to `service`, so that the first
    // exchange with it finds the answer in.
    void askProxyAhead(const QUrl &service);

    [[nodiscard]] const SessionLimits &limits() const { return m_limits; }

private:
    [[nodiscard]] QNetworkReply *post(QNetworkRequest request, const QByteArray &body);
    [[nodiscard]] const QSslConfiguration &tls();
    // Whether the peer of a reply whose handshake has just ended holds a pinned key.
    [[nodiscard]] bool acceptsPeer(const QNetworkReply &reply);
    // Whether the build's own authorities, trusted beside the system's roots, vouch for the
    // chain of a reply whose handshake found no root for it.
    [[nodiscard]] bool buildAuthoritiesVouch(const QNetworkReply &reply,
                                             const QList<QSslError> &errors) const;

    struct StoreFree {
        void operator()(X509_STORE *store) const;
    };

    SessionLimits m_limits;
    ServiceTrust m_trust;
    // Made for the first exchange: reading certificates loads the TLS libraries, several
    // megabytes that a window waiting for its key does not need yet.
    std::optional<QSslConfiguration> m_tls;
    std::unique_ptr<PinnedKeys> m_pinnedKeys;
    std::unique_ptr<X509_STORE, StoreFree> m_buildAuthorities;
    QNetworkAccessManager m_manager;
    // Owned by the manager.
    SystemProxies *m_proxies;
};

} // namespace Qolvi_Desktop_Agent
