#pragma once

#include <QString>
#include <QUrl>
#include <variant>

namespace Qolvi_Desktop_Agent {

// What a redirect answer asks of the exchange, decided as the HTTP session the agent was
// designed for does: 307 and 308 send the same POST to the new address, 301, 302 and 303 fetch
// it with a GET; a status without a usable address is itself the answer.
namespace redirect {

struct Follow {
    QUrl target;
    bool keepsBody = false;
};
// The service answered with this status and nowhere to go: the status is the answer.
struct NotFollowed {};
// Following would leave the protection of TLS, or go on for ever.
struct Refused {
    QString description;
};

using Decision = std::variant<Follow, NotFollowed, Refused>;

inline constexpr int maxRedirects = 16;

[[nodiscard]] bool isRedirectStatus(int status);

// `location` is the Location header as sent; `redirectsSoFar` counts the redirects already
// followed in this exchange.
[[nodiscard]] Decision decide(int status, const QUrl &current, const QByteArray &location,
                              int redirectsSoFar);

} // namespace redirect

} // namespace Qolvi_Desktop_Agent
