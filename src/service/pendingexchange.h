#pragma once

#include "exchangeresult.h"
#include "sessionlimits.h"

#include <QObject>
#include <QTimer>
#include <functional>

class QNetworkReply;

namespace Qolvi_Desktop_Agent {

class OneShotBody;

// Watches one reply: enforces the whole-exchange limit and the body size limit, ends the
// exchange as soon as a status other than 200 arrives, and reports the outcome once, naming a
// time-out as a time-out rather than as a cancellation.
class PendingExchange : public QObject {
    Q_OBJECT
public:
    using Completion = std::function<void(const ExchangeResult &result)>;

    PendingExchange(QNetworkReply *reply, OneShotBody *body, const SessionLimits &limits,
                    Completion completion);

private:
    enum class AbortReason { none, wholeExchangeTimedOut, bodyTooLarge, answeredWithoutBody };

    void readAvailable();
    void checkHead();
    void abortFor(AbortReason reason);
    void finish();
    [[nodiscard]] ExchangeResult result() const;

    QNetworkReply *m_reply;
    OneShotBody *m_requestBody; // owned by the reply, like this
    qint64 m_maxBodyBytes;
    QTimer m_wholeExchangeTimer;
    QByteArray m_body;
    AbortReason m_abortReason = AbortReason::none;
    Completion m_completion;
};

} // namespace Qolvi_Desktop_Agent
