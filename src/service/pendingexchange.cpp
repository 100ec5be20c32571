#include "pendingexchange.h"

#include "oneshotbody.h"

#include <QNetworkReply>
#include <algorithm>
#include <optional>

namespace Qolvi_Desktop_Agent {

namespace {

const QString timedOutDescription = QStringLiteral("The request timed out.");
const QString connectionClosedDescription = QStringLiteral("Connection closed");

QString tooLargeDescription(qint64 maxBodyBytes) {
    return QStringLiteral("The response was too large (more than %1 bytes).").arg(maxBodyBytes);
}

// Qt follows these itself when they name where to go; only then is the status not the answer.
bool isFollowedRedirect(int status, const QNetworkReply &reply) {
    const bool redirectStatus = status == 301 || status == 302 || status == 303 || status == 305 ||
                                status == 307 || status == 308;
    return redirectStatus && reply.hasRawHeader("Location");
}

std::optional<int> statusOf(const QNetworkReply &reply) {
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? std::optional(status.toInt()) : std::nullopt;
}

} // namespace

PendingExchange::PendingExchange(QNetworkReply *reply, OneShotBody *body,
                                 const SessionLimits &limits, Completion completion)
    : QObject(reply)
    , m_reply(reply)
    , m_requestBody(body)
    , m_maxBodyBytes(limits.maxBodyBytes)
    , m_completion(std::move(completion)) {
    // A coarse timer may fire up to 5 % early; the limit is a promise to the candidate.
    m_wholeExchangeTimer.setTimerType(Qt::PreciseTimer);
    m_wholeExchangeTimer.setSingleShot(true);
    connect(&m_wholeExchangeTimer, &QTimer::timeout, this,
            [this] { abortFor(AbortReason::wholeExchangeTimedOut); });
    m_wholeExchangeTimer.start(limits.wholeExchange);

    connect(reply, &QNetworkReply::metaDataChanged, this, &PendingExchange::checkHead);
    connect(reply, &QNetworkReply::readyRead, this, &PendingExchange::readAvailable);
    connect(reply, &QNetworkReply::finished, this, &PendingExchange::finish);
}

void PendingExchange::checkHead() {
    const std::optional<int> status = statusOf(*m_reply);
    if (!status) {
        return;
    }
    // Only a 200 answer has its body read; any other status is the whole answer already.
    if (*status != 200) {
        if (isFollowedRedirect(*status, *m_reply)) {
            m_requestBody->allowRewind();
        } else {
            // Ends the exchange without aborting: an abort here makes Qt report the reply's
            // error twice. Deleting the reply stops its transfer all the same.
            m_abortReason = AbortReason::answeredWithoutBody;
            finish();
        }
        return;
    }
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_maxBodyBytes) {
        abortFor(AbortReason::bodyTooLarge);
    }
}

void PendingExchange::readAvailable() {
    // Qt closes a reply that its own inactivity limit ended; nothing is left to read then.
    if (m_abortReason != AbortReason::none || !m_reply->isOpen()) {
        return;
    }
    const qint64 room = m_maxBodyBytes - m_body.size();
    m_body += m_reply->read(std::min(room + 1, m_reply->bytesAvailable()));
    if (m_body.size() > m_maxBodyBytes) {
        m_body.clear();
        abortFor(AbortReason::bodyTooLarge);
    }
}

void PendingExchange::abortFor(AbortReason reason) {
    if (m_abortReason == AbortReason::none && m_reply->isRunning()) {
        m_abortReason = reason;
        m_reply->abort();
    }
}

void PendingExchange::finish() {
    m_wholeExchangeTimer.stop();
    if (m_abortReason == AbortReason::none) {
        readAvailable();
    }
    Completion completion = std::move(m_completion);
    const ExchangeResult outcome = result();
    disconnect(m_reply, nullptr, this, nullptr);
    m_reply->deleteLater();
    if (completion) {
        completion(outcome);
    }
}

ExchangeResult PendingExchange::result() const {
    switch (m_abortReason) {
    case AbortReason::wholeExchangeTimedOut:
        return NetworkFailure{timedOutDescription};
    case AbortReason::bodyTooLarge:
        return NetworkFailure{tooLargeDescription(m_maxBodyBytes)};
    case AbortReason::answeredWithoutBody:
        return HttpAnswer{*statusOf(*m_reply), {}};
    case AbortReason::none:
        break;
    }

    const QNetworkReply::NetworkError error = m_reply->error();
    const std::optional<int> status = statusOf(*m_reply);
    switch (error) {
    case QNetworkReply::NoError:
        if (!status) {
            return NonHttpAnswer{};
        }
        return HttpAnswer{*status, m_body};
    // Nothing but the inactivity limit cancels a reply that this class did not abort.
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        return NetworkFailure{timedOutDescription};
    // The service closed the connection before answering and the body could not go again.
    case QNetworkReply::ContentReSendError:
        return NetworkFailure{connectionClosedDescription};
    // A redirect Qt refuses to follow sent nothing to the new address: no answer.
    case QNetworkReply::InsecureRedirectError:
    case QNetworkReply::TooManyRedirectsError:
        return NetworkFailure{m_reply->errorString()};
    default:
        break;
    }
    // Qt reports many statuses (401, 407, 418, a redirect it cannot follow, ...) as errors of
    // its own; a status line that arrived is the answer whatever Qt calls it. A 200 that
    // broke off mid-body is not: its body never arrived.
    if (status && *status != 200) {
        return HttpAnswer{*status, {}};
    }
    return NetworkFailure{m_reply->errorString()};
}

} // namespace Qolvi_Desktop_Agent
