#include "themepalette.h"

#include "colorfromhex.h"

#include <QQmlEngine>
#include <array>

namespace Qolvi_Desktop_Agent {

namespace {

enum PaletteColor { navy, crimson, snow, white, sky, salmon, rose, mint, paletteSize };

// Parsed together on first use; a function-local static is initialised once, even when two
// threads render for the first time at once.
const std::array<QColor, paletteSize> &parsedColors() {
    static const std::array<QColor, paletteSize> colors{
        colorFromHex(u"#191659"), colorFromHex(u"#A62A4C"), colorFromHex(u"#F5F7FA"),
        colorFromHex(u"#ffffff"), colorFromHex(u"#54A8C7"), colorFromHex(u"#f78b77"),
        colorFromHex(u"#E2626B"), colorFromHex(u"#45C4A0"),
    };
    return colors;
}

} // namespace

const ThemePalette &ThemePalette::colors() {
    static auto *const instance = new ThemePalette;
    return *instance;
}

ThemePalette *ThemePalette::create(QQmlEngine * /*engine*/, QJSEngine * /*scriptEngine*/) {
    auto *palette = const_cast<ThemePalette *>(&colors());
    QQmlEngine::setObjectOwnership(palette, QQmlEngine::CppOwnership);
    return palette;
}

QColor ThemePalette::navy() const {
    return parsedColors()[PaletteColor::navy];
}
QColor ThemePalette::crimson() const {
    return parsedColors()[PaletteColor::crimson];
}
QColor ThemePalette::snow() const {
    return parsedColors()[PaletteColor::snow];
}
QColor ThemePalette::white() const {
    return parsedColors()[PaletteColor::white];
}
QColor ThemePalette::sky() const {
    return parsedColors()[PaletteColor::sky];
}
QColor ThemePalette::salmon() const {
    return parsedColors()[PaletteColor::salmon];
}
QColor ThemePalette::rose() const {
    return parsedColors()[PaletteColor::rose];
}
QColor ThemePalette::mint() const {
    return parsedColors()[PaletteColor::mint];
}

} // namespace Qolvi_Desktop_Agent
