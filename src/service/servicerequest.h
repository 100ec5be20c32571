#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <optional>

namespace Qolvi_Desktop_Agent {

// A POST to the exam service, built but not sent. Qt keeps the body apart from the request, so
// the two travel together here; no body means the encoding failed.
struct ServiceRequest {
    QNetworkRequest request;
    std::optional<QByteArray> body;
};

} // namespace Qolvi_Desktop_Agent
