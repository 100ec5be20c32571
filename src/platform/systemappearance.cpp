#include "systemappearance.h"

namespace Qolvi_Desktop_Agent {

SystemAppearance &SystemAppearance::shared() {
    static SystemAppearance *const instance = new SystemAppearance;
    return *instance;
}

void SystemAppearance::setColorScheme(ColorScheme colorScheme) {
    if (colorScheme == m_colorScheme) {
        return;
    }
    m_colorScheme = colorScheme;
    emit colorSchemeChanged();
}

} // namespace Qolvi_Desktop_Agent
