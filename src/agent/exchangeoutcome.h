#pragma once

#include "service/apiresponse.h"
#include "service/exchangeresult.h"

#include <QString>
#include <QStringView>
#include <optional>

namespace Qolvi_Desktop_Agent {

// What one exchange with the exam service came to, in the terms both flows decide by.
struct ExchangeOutcome {
    enum class Kind {
        networkFailure, // no answer
        notHttp,        // an answer that is not an HTTP response
        otherStatus,    // any status but 200; the body is not read
        undecodable,    // status 200 whose body is not a service response
        accepted,       // status 200, HasError false
        refused,        // status 200, HasError true
    };

    Kind kind = Kind::notHttp;
    int statusCode = 0;
    QString failureDescription;
    ServiceResponse response; // for accepted and refused
};

[[nodiscard]] ExchangeOutcome classifyExchange(const ExchangeResult &result);

// The console line an outcome writes, ending with " for " and the flow's name; none for an
// answer that is not HTTP.
[[nodiscard]] std::optional<QString> consoleLine(const ExchangeOutcome &outcome,
                                                 QStringView flowName);

} // namespace Qolvi_Desktop_Agent
