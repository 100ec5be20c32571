#pragma once

#include "exchangeresult.h"
#include "sessionlimits.h"

#include <QNetworkRequest>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

class QNetworkReply;

namespace Qolvi_Desktop_Agent {

// One exchange with the service, from the POST to its outcome, following redirects itself:
// enforces the whole-exchange limit and the body size limit, ends as soon as a status other
// than 200 arrives, and reports the outcome once, naming a time-out as a time-out rather than
// as a cancellation.
class PendingExchange : public QObject {
    Q_OBJECT
public:
    using Completion = std::function<void(const ExchangeResult &result)>;
    // Sends one request of the exchange: a POST of the body, or a GET without one.
    using Sender =
        std::function<QNetworkReply *(const QNetworkRequest &, const std::optional<QByteArray> &)>;
    // Whether the peer of a reply whose TLS handshake has just succeeded may be sent the request.
    using PeerCheck = std::function<bool(const QNetworkReply &)>;

    PendingExchange(QNetworkRequest request, QByteArray body, Sender send, PeerCheck acceptsPeer,
                    const SessionLimits &limits, Completion completion, QObject *parent);

private:
    enum class AbortReason { none, wholeExchangeTimedOut, bodyTooLarge, peerNotPinned };

    void sendRequest(const QNetworkRequest &request, const std::optional<QByteArray> &body);
    void readAvailable();
    void checkPeer();
    void checkHead();
    void actOnStatus();
    void abortFor(AbortReason reason);
    void finish();
    void complete(const ExchangeResult &result);
    [[nodiscard]] ExchangeResult result() const;

    QNetworkRequest m_request;
    QByteArray m_requestBody;
    Sender m_send;
    PeerCheck m_acceptsPeer;
    QNetworkReply *m_reply = nullptr;
    int m_redirects = 0;
    // The status of the reply, once one other than 200 arrived; the answer or a redirect.
    std::optional<int> m_otherStatus;
    qint64 m_maxBodyBytes;
    QTimer m_wholeExchangeTimer;
    QByteArray m_body;
    AbortReason m_abortReason = AbortReason::none;
    Completion m_completion;
};

} // namespace Qolvi_Desktop_Agent
