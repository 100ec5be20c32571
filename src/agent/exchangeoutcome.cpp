#include "exchangeoutcome.h"

#include "service/wirejson.h"

#include <type_traits>

namespace Qolvi_Desktop_Agent {

ExchangeOutcome classifyExchange(const ExchangeResult &result) {
    return std::visit(
        [](const auto &answer) {
            using Answer = std::decay_t<decltype(answer)>;
            ExchangeOutcome outcome;
            if constexpr (std::is_same_v<Answer, NetworkFailure>) {
                outcome.kind = ExchangeOutcome::Kind::networkFailure;
                outcome.failureDescription = answer.description;
            } else if constexpr (std::is_same_v<Answer, NonHttpAnswer>) {
                outcome.kind = ExchangeOutcome::Kind::notHttp;
            } else {
                outcome.statusCode = answer.statusCode;
                if (answer.statusCode != 200) {
                    outcome.kind = ExchangeOutcome::Kind::otherStatus;
                    return outcome;
                }
                auto decoded = decode<ServiceResponse>(
                    std::string_view(answer.body.constData(), std::size_t(answer.body.size())));
                if (auto *response = std::get_if<ServiceResponse>(&decoded)) {
                    outcome.kind = response->HasError ? ExchangeOutcome::Kind::refused
                                                      : ExchangeOutcome::Kind::accepted;
                    outcome.response = std::move(*response);
                } else {
                    outcome.kind = ExchangeOutcome::Kind::undecodable;
                }
            }
            return outcome;
        },
        result);
}

std::optional<QString> consoleLine(const ExchangeOutcome &outcome, QStringView flowName) {
    const QString suffix = QStringLiteral(" for ") + flowName.toString();
    switch (outcome.kind) {
    case ExchangeOutcome::Kind::networkFailure:
        return QStringLiteral("Error: Network error - ") + outcome.failureDescription + suffix;
    case ExchangeOutcome::Kind::notHttp:
        return std::nullopt;
    case ExchangeOutcome::Kind::otherStatus:
    case ExchangeOutcome::Kind::undecodable:
    case ExchangeOutcome::Kind::accepted:
    case ExchangeOutcome::Kind::refused:
        break;
    }
    return QStringLiteral("Status Code: ") + QString::number(outcome.statusCode) + suffix;
}

} // namespace Qolvi_Desktop_Agent
