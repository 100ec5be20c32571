#pragma once

#include <string_view>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend {

// The fields of a text between separators, empty ones included.
[[nodiscard]] inline std::vector<std::string_view> splitFields(std::string_view text,
                                                               char separator) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        fields.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return fields;
        }
        start = end + 1;
    }
}

// The value of one hexadecimal digit of either case, or -1.
[[nodiscard]] inline int hexDigitValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
