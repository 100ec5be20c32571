#include "pendingexchange.h"

#include "redirect.h"

#include <QNetworkReply>
#include <algorithm>

namespace Qolvi_Desktop_Agent {

namespace {

const QString timedOutDescription = QStringLiteral("The request timed out.");
const QString connectionClosedDescription = QStringLiteral("Connection closed");
const QString notPinnedDescription = QStringLiteral(
    "SSL handshake failed: No key in the certificate chain is pinned for the service");

QString tooLargeDescription(qint64 maxBodyBytes) {
    return QStringLiteral("The response was too large (more than %1 bytes).").arg(maxBodyBytes);
}

// A 1xx status is interim: the answer is still to come. Qt 6.4 hands one to the reply as if it
// were the answer, later versions read on for the final one; an exchange that ends on one was
// closed before it was answered, on every version alike.
bool isInterim(int status) {
    return status >= 100 && status < 200;
}

std::optional<int> statusOf(const QNetworkReply &reply) {
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? std::optional(status.toInt()) : std::nullopt;
}

} // namespace

PendingExchange::PendingExchange(QNetworkRequest request, QByteArray body, Sender send,
                                 PeerCheck acceptsPeer, const SessionLimits &limits,
                                 Completion completion, QObject *parent)
    : QObject(parent)
    , m_request(std::move(request))
    , m_requestBody(std::move(body))
    , m_send(std::move(send))
    , m_acceptsPeer(std::move(acceptsPeer))
    , m_maxBodyBytes(limits.maxBodyBytes)
    , m_completion(std::move(completion)) {
    // A coarse timer may fire up to 5 % early; the limit is a promise to the candidate.
    m_wholeExchangeTimer.setTimerType(Qt::PreciseTimer);
    m_wholeExchangeTimer.setSingleShot(true);
    connect(&m_wholeExchangeTimer, &QTimer::timeout, this,
            [this] { abortFor(AbortReason::wholeExchangeTimedOut); });
    m_wholeExchangeTimer.start(limits.wholeExchange);
    sendRequest(m_request, m_requestBody);
}

void PendingExchange::sendRequest(const QNetworkRequest &request,
                                  const std::optional<QByteArray> &body) {
    m_reply = m_send(request, body);
    m_reply->setParent(this);
    connect(m_reply, &QNetworkReply::encrypted, this, &PendingExchange::checkPeer);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &PendingExchange::checkHead);
    connect(m_reply, &QNetworkReply::readyRead, this, &PendingExchange::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &PendingExchange::finish);
}

// Qt holds the request back until this returns, and writes none of it once the reply is aborted
// here. A connection is only kept for later exchanges after its peer passed, so the next
// exchange on it needs no second look.
void PendingExchange::checkPeer() {
    if (!m_acceptsPeer(*m_reply)) {
        abortFor(AbortReason::peerNotPinned);
    }
}

void PendingExchange::checkHead() {
    const std::optional<int> status = statusOf(*m_reply);
    if (!status || isInterim(*status)) {
        return;
    }
    if (*status == 200) {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > m_maxBodyBytes) {
            abortFor(AbortReason::bodyTooLarge);
        }
        return;
    }
    // Only a 200 answer has its body read; any other status is the whole answer already, or
    // sends the exchange on. Qt's channel asks this thread to rewind the request body once it
    // has read a 307 or 308, whoever follows it, and blocks until it is answered: the reply
    // must live until then, so those wait for its end. Every other reply is left at once, not
    // aborted: an abort here makes Qt report its error twice, and deleting the reply stops its
    // transfer all the same.
    m_otherStatus = *status;
    if (*status != 307 && *status != 308) {
        actOnStatus();
    }
}

void PendingExchange::actOnStatus() {
    const auto decision = redirect::decide(*m_otherStatus, m_reply->url(),
                                           m_reply->rawHeader("Location"), m_redirects);
    if (const auto *follow = std::get_if<redirect::Follow>(&decision)) {
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->deleteLater();
        m_otherStatus.reset();
        ++m_redirects;
        QNetworkRequest next = m_request;
        next.setUrl(follow->target);
        if (follow->keepsBody) {
            sendRequest(next, m_requestBody);
        } else {
            next.setHeader(QNetworkRequest::ContentTypeHeader, QVariant());
            next.setHeader(QNetworkRequest::ContentLengthHeader, QVariant());
            sendRequest(next, std::nullopt);
        }
    } else if (const auto *refused = std::get_if<redirect::Refused>(&decision)) {
        complete(NetworkFailure{refused->description});
    } else {
        complete(HttpAnswer{*m_otherStatus, {}});
    }
}

void PendingExchange::readAvailable() {
    // Qt closes a reply that its own inactivity limit ended; nothing is left to read then.
    if (m_abortReason != AbortReason::none || m_otherStatus || !m_reply->isOpen()) {
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
    if (m_otherStatus && m_abortReason == AbortReason::none) {
        actOnStatus();
        return;
    }
    if (m_abortReason == AbortReason::none) {
        readAvailable();
    }
    complete(result());
}

void PendingExchange::complete(const ExchangeResult &result) {
    m_wholeExchangeTimer.stop();
    disconnect(m_reply, nullptr, this, nullptr);
    Completion completion = std::move(m_completion);
    deleteLater();
    if (completion) {
        completion(result);
    }
}

ExchangeResult PendingExchange::result() const {
    switch (m_abortReason) {
    case AbortReason::wholeExchangeTimedOut:
        return NetworkFailure{timedOutDescription};
    case AbortReason::bodyTooLarge:
        return NetworkFailure{tooLargeDescription(m_maxBodyBytes)};
    case AbortReason::peerNotPinned:
        return NetworkFailure{notPinnedDescription};
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
        if (isInterim(*status)) {
            return NetworkFailure{connectionClosedDescription};
        }
        return HttpAnswer{*status, m_body};
    // Nothing but the inactivity limit cancels a reply that this class did not abort.
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        return NetworkFailure{timedOutDescription};
    // The service closed the connection before answering and the body could not go again.
    case QNetworkReply::ContentReSendError:
        return NetworkFailure{connectionClosedDescription};
    default:
        break;
    }
    // Qt reports many statuses (401, 407, 418, ...) as errors of its own; a status line that
    // arrived is the answer whatever Qt calls it. A 200 that broke off mid-body is not: its
    // body never arrived.
    if (status && *status != 200 && !isInterim(*status)) {
        return HttpAnswer{*status, {}};
    }
    return NetworkFailure{m_reply->errorString()};
}

} // namespace Qolvi_Desktop_Agent
