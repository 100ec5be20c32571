#pragma once

#include <QByteArray>
#include <QString>
#include <variant>

namespace Qolvi_Desktop_Agent {

// The exchange did not produce an answer: time-out, refused connection, certificate, ...
struct NetworkFailure {
    QString description;
};

// Something answered, but not with an HTTP response.
struct NonHttpAnswer {};

struct HttpAnswer {
    int statusCode = 0;
    QByteArray body;
};

using ExchangeResult = std::variant<NetworkFailure, NonHttpAnswer, HttpAnswer>;

} // namespace Qolvi_Desktop_Agent
