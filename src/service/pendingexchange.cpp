#include "pendingexchange.h"

#include <QNetworkReply>

namespace Qolvi_Desktop_Agent {

namespace {

const QString timedOutDescription = QStringLiteral("The request timed out.");

QString tooLargeDescription(qint64 maxBodyBytes) {
    return QStringLiteral("The response was too large (more than %1 bytes).").arg(maxBodyBytes);
}

// Qt reports an HTTP error status (401, 404, 500, ...) as a reply error although the server
// answered; these codes mean "answered with that status", not "no answer".
bool isHttpStatusError(QNetworkReply::NetworkError error) {
    const int code = error;
    return (code >= QNetworkReply::ContentAccessDenied &&
            code <= QNetworkReply::UnknownContentError) ||
           (code >= QNetworkReply::InternalServerError &&
            code <= QNetworkReply::UnknownServerError);
}

} // namespace

PendingExchange::PendingExchange(QNetworkReply *reply, const SessionLimits &limits,
                                 Completion completion)
    : QObject(reply)
    , m_reply(reply)
    , m_maxBodyBytes(limits.maxBodyBytes)
    , m_completion(std::move(completion)) {
    // A coarse timer may fire up to 5 % early; the limit is a promise to the candidate.
    m_wholeExchangeTimer.setTimerType(Qt::PreciseTimer);
    m_wholeExchangeTimer.setSingleShot(true);
    connect(&m_wholeExchangeTimer, &QTimer::timeout, this,
            [this] { abortFor(AbortReason::wholeExchangeTimedOut); });
    m_wholeExchangeTimer.start(limits.wholeExchange);

    connect(reply, &QNetworkReply::metaDataChanged, this, &PendingExchange::checkAnnouncedLength);
    connect(reply, &QNetworkReply::readyRead, this, &PendingExchange::readAvailable);
    connect(reply, &QNetworkReply::finished, this, &PendingExchange::finish);
}

void PendingExchange::checkAnnouncedLength() {
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_maxBodyBytes) {
        abortFor(AbortReason::bodyTooLarge);
    }
}

void PendingExchange::readAvailable() {
    if (m_abortReason != AbortReason::none) {
        return;
    }
    const qint64 room = m_maxBodyBytes - m_body.size();
    m_body += m_reply->read(room + 1);
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
    case AbortReason::none:
        break;
    }

    const QNetworkReply::NetworkError error = m_reply->error();
    // Nothing but the inactivity limit cancels a reply that this class did not abort.
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
        return NetworkFailure{timedOutDescription};
    }
    if (error != QNetworkReply::NoError && !isHttpStatusError(error)) {
        return NetworkFailure{m_reply->errorString()};
    }
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        return NonHttpAnswer{};
    }
    return HttpAnswer{status.toInt(), m_body};
}

} // namespace Qolvi_Desktop_Agent
