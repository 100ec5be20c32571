#include "textualform.h"

#include <array>
#include <cstdio>

namespace Qolvi_Desktop_Agent {

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

// Decodes the code point at text[index] and advances past it. An invalid or cut-off sequence
// gives U+FFFD and advances past its longest valid start, at least one byte, as Unicode
// recommends, so the text that follows is read as it stands.
char32_t nextCodePoint(std::string_view text, std::size_t &index) {
    const auto byteAt = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byteAt(index++);
    if (lead < 0x80) {
        return lead;
    }
    int trailing = 0;
    char32_t codePoint = 0;
    unsigned char low = 0x80;  // the range of the first trailing byte, which rules out
    unsigned char high = 0xBF; // overlong forms, surrogates and values past U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailing = 1;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailing = 2;
        codePoint = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailing = 3;
        codePoint = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return replacementCharacter;
    }
    for (int i = 0; i < trailing; ++i) {
        if (index >= text.size() || byteAt(index) < low || byteAt(index) > high) {
            return replacementCharacter;
        }
        codePoint = (codePoint << 6) | (byteAt(index++) & 0x3Fu);
        low = 0x80;
        high = 0xBF;
    }
    return codePoint;
}

void appendUtf8(std::string &text, char32_t codePoint) {
    if (codePoint < 0x80) {
        text += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        text += static_cast<char>(0xC0 | (codePoint >> 6));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += static_cast<char>(0xE0 | (codePoint >> 12));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (codePoint >> 18));
        text += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
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
                appendUtf8(quoted, codePoint);
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
