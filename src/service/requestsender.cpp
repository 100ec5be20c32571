#include "requestsender.h"

#include <QUrl>
#include <exception>

namespace Qolvi_Desktop_Agent {

RequestSender::RequestSender(QString baseApiURL, LineWriter writeLine)
    : m_baseApiURL(std::move(baseApiURL))
    , m_writeLine(std::move(writeLine)) {}

ServiceRequest RequestSender::build(const QString &path, const Json &body) const {
    const QString joined = m_baseApiURL + path;
    const QUrl url(joined, QUrl::StrictMode);
    // The base URL is validated when the agent is built and the paths are fixed texts, so this
    // can only fail through a programming error: stop rather than send a request elsewhere.
    if (!url.isValid() || url.isRelative()) {
        qFatal("Request URL is not a valid absolute URL: %s", qUtf8Printable(joined));
    }

    ServiceRequest built;
    built.request.setUrl(url);
    built.request.setTransferTimeout(static_cast<int>(requestTimeout.count()));
    built.request.setHeader(QNetworkRequest::ContentTypeHeader,
                            QByteArrayLiteral("application/json"));
    try {
        const std::string encoded = encodeCompact(body);
        built.body = QByteArray(encoded.data(), static_cast<qsizetype>(encoded.size()));
    } catch (const std::exception &error) {
        m_writeLine(QStringLiteral("Error encoding parameters: ") +
                    QString::fromUtf8(error.what()));
    }
    return built;
}

} // namespace Qolvi_Desktop_Agent
