#include "platform/linux/windowlists/windowmatch.h"

#include <algorithm>

namespace Qolvi_Desktop_Agent::linux_backend {

bool isReverseDns(std::string_view id) {
    std::size_t elements = 0;
    std::size_t start = 0;
    while (start <= id.size()) {
        const std::size_t dot = std::min(id.find('.', start), id.size());
        const std::string_view element = id.substr(start, dot - start);
        if (element.empty() || (element.front() >= '0' && element.front() <= '9') ||
            !std::all_of(element.begin(), element.end(), [](char c) {
                return c == '_' || c == '-' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9');
            })) {
            return false;
        }
        ++elements;
        start = dot + 1;
    }
    return elements >= 3;
}

std::string idForWindow(const WindowIdentity &window, const DesktopEntryIndex &entries) {
    for (std::string id : window.applicationIds) {
        if (id.ends_with(".desktop")) {
            id.resize(id.size() - 8);
        }
        if (!id.empty() && (entries.isSystemId(id) || isReverseDns(id))) {
            return id;
        }
    }
    for (const std::string &windowClass : window.classes) {
        if (windowClass.empty()) {
            continue;
        }
        if (std::string id = entries.idForWindowClass(windowClass); !id.empty()) {
            return id;
        }
        if (isReverseDns(windowClass)) {
            return windowClass;
        }
    }
    return {};
}

} // namespace Qolvi_Desktop_Agent::linux_backend
