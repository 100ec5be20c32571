#include "alerttype.h"

#include <array>
#include <utility>

namespace Qolvi_Desktop_Agent {

namespace {

constexpr std::array<std::pair<AlertType, std::string_view>, 5> rawValues{{
    {AlertType::info, "Info"},
    {AlertType::warning, "Warning"},
    {AlertType::danger, "Danger"},
    {AlertType::success, "Success"},
    {AlertType::def, "Default"},
}};

} // namespace

std::string_view rawValue(AlertType type) {
    for (const auto &[candidate, text] : rawValues) {
        if (candidate == type) {
            return text;
        }
    }
    return {};
}

std::optional<AlertType> alertTypeFromRawValue(std::string_view rawValue) {
    for (const auto &[type, text] : rawValues) {
        if (text == rawValue) {
            return type;
        }
    }
    return std::nullopt;
}

} // namespace Qolvi_Desktop_Agent
