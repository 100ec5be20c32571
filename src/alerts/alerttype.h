#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <string_view>

namespace Qolvi_Desktop_Agent {

// The severity of an alert; it selects the banner colour.
enum class AlertType { info, warning, danger, success, def };

[[nodiscard]] std::string_view rawValue(AlertType type);

// Only the five raw values, compared in full and case-sensitively, give a type.
[[nodiscard]] std::optional<AlertType> alertTypeFromRawValue(std::string_view rawValue);

} // namespace Qolvi_Desktop_Agent
