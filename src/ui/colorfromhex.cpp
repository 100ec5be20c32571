#include "colorfromhex.h"

#include <QTextBoundaryFinder>
#include <cstdint>
#include <limits>
#include <utility>

namespace Qolvi_Desktop_Agent {

namespace {

bool isAlphanumeric(char32_t codePoint) {
    // Letters, marks and numbers of every script.
    switch (QChar::category(codePoint)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

// The code point that starts at `index`, and how many UTF-16 units it takes.
std::pair<char32_t, qsizetype> codePointAt(QStringView text, qsizetype index) {
    const QChar unit = text[index];
    if (unit.isHighSurrogate() && index + 1 < text.size() && text[index + 1].isLowSurrogate()) {
        return {QChar::surrogateToUcs4(unit, text[index + 1]), 2};
    }
    return {unit.unicode(), 1};
}

// The code point that ends just before `end`, and how many UTF-16 units it takes.
std::pair<char32_t, qsizetype> codePointBefore(QStringView text, qsizetype end) {
    const QChar unit = text[end - 1];
    if (unit.isLowSurrogate() && end >= 2 && text[end - 2].isHighSurrogate()) {
        return {QChar::surrogateToUcs4(text[end - 2], unit), 2};
    }
    return {unit.unicode(), 1};
}

// Removes every character that is not alphanumeric from both ends.
QStringView trimmed(QStringView text) {
    qsizetype begin = 0;
    while (begin < text.size()) {
        const auto [codePoint, length] = codePointAt(text, begin);
        if (isAlphanumeric(codePoint)) {
            break;
        }
        begin += length;
    }
    qsizetype end = text.size();
    while (end > begin) {
        const auto [codePoint, length] = codePointBefore(text, end);
        if (isAlphanumeric(codePoint)) {
            break;
        }
        end -= length;
    }
    return text.sliced(begin, end - begin);
}

int hexDigitValue(QChar character) {
    const char16_t unit = character.unicode();
    if (unit >= u'0' && unit <= u'9') {
        return unit - u'0';
    }
    if (unit >= u'a' && unit <= u'f') {
        return unit - u'a' + 10;
    }
    if (unit >= u'A' && unit <= u'F') {
        return unit - u'A' + 10;
    }
    return -1;
}

// An unsigned 64-bit hex number at the start of the text, optionally after "0x"; 0 when the
// text does not start with one. Too many digits saturate, as a scanner does.
std::uint64_t leadingHexNumber(QStringView text) {
    qsizetype index = 0;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X') &&
        hexDigitValue(text[2]) >= 0) {
        index = 2;
    }
    std::uint64_t value = 0;
    for (; index < text.size(); ++index) {
        const int digit = hexDigitValue(text[index]);
        if (digit < 0) {
            break;
        }
        if (value > (std::numeric_limits<std::uint64_t>::max() >> 4)) {
            return std::numeric_limits<std::uint64_t>::max();
        }
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    return value;
}

qsizetype graphemeCount(QStringView text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0) {
        ++count;
    }
    return count;
}

int channel(std::uint64_t value) {
    return static_cast<int>(value & 0xFF);
}

} // namespace

QColor colorFromHex(QStringView text) {
    const QStringView hex = trimmed(text);
    const std::uint64_t v = leadingHexNumber(hex);
    switch (graphemeCount(hex)) {
    case 3:
        return QColor::fromRgb(channel((v >> 8) & 0xF) * 17, channel((v >> 4) & 0xF) * 17,
                               channel(v & 0xF) * 17, 255);
    case 6:
        return QColor::fromRgb(channel(v >> 16), channel(v >> 8), channel(v), 255);
    case 8:
        return QColor::fromRgb(channel(v >> 16), channel(v >> 8), channel(v), channel(v >> 24));
    default:
        return QColor::fromRgb(0, 0, 0, 255);
    }
}

} // namespace Qolvi_Desktop_Agent
