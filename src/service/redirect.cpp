#include "redirect.h"

namespace Qolvi_Desktop_Agent::redirect {

bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

Decision decide(int status, const QUrl &current, const QByteArray &location, int redirectsSoFar) {
    if (!isRedirectStatus(status) || location.isEmpty()) {
        return NotFollowed{};
    }
    const QUrl target = current.resolved(QUrl::fromEncoded(location, QUrl::StrictMode));
    const QString scheme = target.scheme();
    if (!target.isValid() || (scheme != u"https" && scheme != u"http")) {
        return NotFollowed{};
    }
    if (current.scheme() == u"https" && scheme == u"http") {
        return Refused{QStringLiteral("Insecure redirect")};
    }
    if (redirectsSoFar >= maxRedirects) {
        return Refused{QStringLiteral("Too many redirects")};
    }
    return Follow{target, status == 307 || status == 308};
}

} // namespace Qolvi_Desktop_Agent::redirect
