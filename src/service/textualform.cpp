#include "textualform.h"

#include <array>
#include <cstdio>

namespace Qolvi_Desktop_Agent {

namespace {

// Decodes the code point starting at text[index] of valid UTF-8 and advances index past it.
char32_t nextCodePoint(std::string_view text, std::size_t &index) {
    const auto lead = static_cast<unsigned char>(text[index++]);
    if (lead < 0x80) {
        return lead;
    }
    const int trailing = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    char32_t codePoint = lead & (0x3F >> trailing);
    for (int i = 0; i < trailing && index < text.size(); ++i) {
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[index++]) & 0x3F);
    }
    return codePoint;
}

bool isControl(char32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

} // namespace

std::string quotedText(std::string_view text) {
    std::string quoted = "\"";
    quoted.reserve(text.size() + 2);
    std::size_t index = 0;
    while (index < text.size()) {
        const std::size_t start = index;
        const char32_t codePoint = nextCodePoint(text, index);
        switch (codePoint) {
        case U'"':
            quoted += "\\\"";
            break;
        case U'\'':
            quoted += "\\'";
            break;
        case U'\\':
            quoted += "\\\\";
            break;
        case U'\0':
            quoted += "\\0";
            break;
        case U'\t':
            quoted += "\\t";
            break;
        case U'\n':
            quoted += "\\n";
            break;
        case U'\r':
            quoted += "\\r";
            break;
        default:
            if (isControl(codePoint)) {
                std::array<char, 16> escape{};
                std::snprintf(escape.data(), escape.size(), "\\u{%X}",
                              static_cast<unsigned>(codePoint));
                quoted += escape.data();
            } else {
                quoted.append(text.substr(start, index - start));
            }
        }
    }
    quoted += '"';
    return quoted;
}

std::string quotedList(const std::vector<std::string> &texts) {
    std::string list = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) {
            list += ", ";
        }
        list += quotedText(texts[i]);
    }
    list += ']';
    return list;
}

} // namespace Qolvi_Desktop_Agent
