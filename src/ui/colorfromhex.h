#pragma once

#include <QColor>
#include <QStringView>

namespace Qolvi_Desktop_Agent {

// Reads a theme colour written as hex: "#RGB", "#RRGGBB" or "#AARRGGBB", with or without the
// leading "#" (or "0x"). Never fails: text it cannot read gives opaque black.
[[nodiscard]] QColor colorFromHex(QStringView text);

} // namespace Qolvi_Desktop_Agent
