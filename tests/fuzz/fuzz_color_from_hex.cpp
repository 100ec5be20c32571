// Theme colours from any text: always a valid colour, and a colour written back as
// "#RRGGBB" or "#AARRGGBB" reads as itself.

#include "ui/colorfromhex.h"

#include <QString>
#include <cstdint>
#include <cstdlib>

using namespace Qolvi_Desktop_Agent;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QColor color = colorFromHex(text);
    if (!color.isValid() || colorFromHex(color.name(QColor::HexArgb)) != color ||
        (color.alpha() == 255 && colorFromHex(color.name(QColor::HexRgb)) != color)) {
        std::abort();
    }
    return 0;
}
