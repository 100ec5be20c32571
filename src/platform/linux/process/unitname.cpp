#include "platform/linux/process/unitname.h"

#include "platform/linux/support/textfields.h"

#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace {

constexpr std::string_view scopeSuffix = ".scope";
constexpr std::string_view serviceSuffix = ".service";

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::optional<std::string> snapId(std::string_view name) {
    constexpr std::string_view prefix = "snap.";
    if (name.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    // The uuid follows the last dash; snap names may hold dashes but never dots.
    const std::size_t lastDash = name.rfind('-');
    if (lastDash == std::string_view::npos || lastDash <= prefix.size()) {
        return std::nullopt;
    }
    const std::string_view snapAndApp = name.substr(prefix.size(), lastDash - prefix.size());
    const std::size_t dot = snapAndApp.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot + 1 == snapAndApp.size()) {
        return std::nullopt;
    }
    return "snap." + std::string(snapAndApp.substr(0, dot));
}

std::optional<std::string> applicationUnitId(std::string_view name, bool isScope) {
    if (!isScope) {
        name = name.substr(0, name.find('@'));
    }
    // Escaped IDs hold no dash, so the fields are: "app", an optional launcher, the ID and,
    // for a scope, the random part.
    std::vector<std::string_view> fields = splitFields(name, '-');
    // A launcher's autostart service adds "-autostart" after the ID. With fewer fields,
    // "autostart" is itself the application ID.
    if (!isScope && fields.size() == 4 && fields.back() == "autostart") {
        fields.pop_back();
    }
    const std::size_t trailing = isScope ? 1 : 0;
    if (fields.front() != "app" || fields.size() < 2 + trailing || fields.size() > 3 + trailing) {
        return std::nullopt;
    }
    const std::string_view escapedId = fields[fields.size() - 1 - trailing];
    if (escapedId.empty() || (isScope && fields.back().empty())) {
        return std::nullopt;
    }
    std::string id = unescapeUnitText(escapedId);
    if (id.empty()) {
        return std::nullopt;
    }
    return id;
}

} // namespace

std::string unescapeUnitText(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const int high = hexDigitValue(text[i + 2]);
            const int low = hexDigitValue(text[i + 3]);
            if (high >= 0 && low >= 0) {
                result += static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

std::optional<std::string> applicationIdFromUnit(std::string_view unitName) {
    if (endsWith(unitName, scopeSuffix)) {
        const std::string_view name = unitName.substr(0, unitName.size() - scopeSuffix.size());
        if (auto snap = snapId(name)) {
            return snap;
        }
        return applicationUnitId(name, true);
    }
    if (endsWith(unitName, serviceSuffix)) {
        return applicationUnitId(unitName.substr(0, unitName.size() - serviceSuffix.size()), false);
    }
    return std::nullopt;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
