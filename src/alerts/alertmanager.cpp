#include "alertmanager.h"

#include "ui/themepalette.h"

namespace Qolvi_Desktop_Agent {

AlertManager &AlertManager::shared() {
    // Never destroyed: the alert outlives every window and must not die after the application
    // object with a timer still registered.
    static AlertManager *const instance = new AlertManager;
    return *instance;
}

AlertManager::AlertManager() {
    m_hideTimer.setSingleShot(true);
    // The candidate is promised the full delay; a coarse timer may fire up to 5 % early.
    m_hideTimer.setTimerType(Qt::PreciseTimer);
    m_hideTimer.setInterval(productHideDelay);
    connect(&m_hideTimer, &QTimer::timeout, this, &AlertManager::hideAlert);
}

QColor AlertManager::bannerColor() const {
    const ThemePalette &palette = ThemePalette::colors();
    switch (m_type) {
    case AlertType::info:
        return palette.sky();
    case AlertType::warning:
        return palette.salmon();
    case AlertType::danger:
        return palette.rose();
    case AlertType::success:
        return palette.mint();
    case AlertType::def:
        return palette.crimson();
    }
    return palette.rose();
}

void AlertManager::showAlert(const QString &message, AlertType type) {
    m_message = message;
    emit messageChanged();
    emit alertShown();
    m_isVisible = true;
    emit isVisibleChanged();
    m_type = type;
    emit typeChanged();
    m_hideTimer.start();
}

void AlertManager::hideAlert() {
    m_hideTimer.stop();
    m_isVisible = false;
    emit isVisibleChanged();
    m_message.reset();
    emit messageChanged();
}

std::chrono::milliseconds AlertManager::hideDelay() const {
    return m_hideTimer.intervalAsDuration();
}

void AlertManager::setHideDelay(std::chrono::milliseconds delay) {
    m_hideTimer.setInterval(delay);
}

} // namespace Qolvi_Desktop_Agent
